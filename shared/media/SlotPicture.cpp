#include "SlotPicture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

// Where the stretch reads a channel: every fourth pixel of every fourth row is plenty for its levels.
constexpr int sampleStep = 4;
// The sky's level: this share of the whole picture is darker. The disc's brightest: this share of the
// disc is brighter, so that a few hot pixels do not set it.
constexpr double skyShare = 0.02;
constexpr double brightShare = 0.002;

// A channel's picture ready to read: RGB32, and the frame pixel its first pixel stands for.
struct Source {
    QImage picture;
    int left = 0;
    int top = 0;
};

Source prepared(const QImage& picture, const QRect& region, int size) {
    if (picture.isNull()) return {};
    QImage rgb =
        picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.width() == size && rgb.height() == size) return {rgb, 0, 0};
    if (QRect(rgb.offset(), rgb.size()) == region) return {rgb, region.left(), region.top()};
    return {rgb.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 0, 0};
}

// The rainbow's rule: each channel fills one wedge, clockwise from the top.
int wedgeOf(int x, int y, double centre, int wedges) {
    double angle = std::atan2(x - centre, centre - y); // 0 at the top, growing clockwise
    if (angle < 0) angle += 2 * std::numbers::pi;
    return std::min(wedges - 1, int(angle / (2 * std::numbers::pi) * wedges));
}

SlotPicture::Stretch identity() {
    SlotPicture::Stretch table{};
    for (int level = 0; level < 256; ++level)
        table[size_t(level)] = std::uint8_t(level);
    return table;
}

int levelBelow(const std::array<int, 256>& histogram, double share) {
    int total = 0;
    for (int count : histogram)
        total += count;
    const double wanted = share * total;
    int seen = 0;
    for (int level = 0; level < 256; ++level) {
        seen += histogram[size_t(level)];
        if (seen > wanted) return level;
    }
    return 255;
}

} // namespace

double SlotPicture::discRadius(int size) {
    return size * 400.0 / 1024.0;
}

SlotPicture::Stretch SlotPicture::stretchOf(const QImage& picture, int size) {
    const Source source = prepared(picture, QRect(0, 0, size, size), size);
    if (source.picture.isNull()) return identity();
    std::array<int, 256> everywhere{};
    std::array<int, 256> disc{};
    const double centre = (size - 1) / 2.0;
    const double radius = discRadius(size);
    for (int y = 0; y < size; y += sampleStep) {
        const auto* row = reinterpret_cast<const QRgb*>(source.picture.constScanLine(y));
        const double dy = y - centre;
        for (int x = 0; x < size; x += sampleStep) {
            const int level = qGray(row[x]);
            ++everywhere[size_t(level)];
            const double dx = x - centre;
            if (dx * dx + dy * dy < radius * radius) ++disc[size_t(level)];
        }
    }
    const int black = levelBelow(everywhere, skyShare);
    const int white = levelBelow(disc, 1.0 - brightShare);
    if (white - black < 16) return identity();
    Stretch table{};
    for (int level = 0; level < 256; ++level)
        table[size_t(level)] =
            std::uint8_t(std::clamp(std::lround((level - black) * 255.0 / (white - black)), 0L, 255L));
    return table;
}

SlotPicture::Composer::Composer(ClipMaking::Kind kind, int channels, int size)
    : kind_(kind), channels_(std::max(1, channels)), size_(size),
      regions_(size_t(channels_), QRect(0, 0, size, size)),
      stretches_(size_t(std::max(channels_, 3)), identity()) {
    if (kind_ != ClipMaking::Kind::rainbow) return;
    // Which wedge each pixel lies in never changes: runs of pixels per row, worked out once.
    const double centre = (size - 1) / 2.0;
    std::vector<QRect> bounds(static_cast<size_t>(channels_));
    rowStarts_.reserve(size_t(size) + 1);
    for (int y = 0; y < size; ++y) {
        rowStarts_.push_back(int(runs_.size()));
        int from = 0;
        int channel = wedgeOf(0, y, centre, channels_);
        for (int x = 1; x <= size; ++x) {
            const int next = x < size ? wedgeOf(x, y, centre, channels_) : -1;
            if (next == channel) continue;
            runs_.push_back({from, x, channel});
            bounds[size_t(channel)] |= QRect(from, y, x - from, 1);
            from = x;
            channel = next;
        }
    }
    rowStarts_.push_back(int(runs_.size()));
    for (int channel = 0; channel < channels_; ++channel)
        if (!bounds[size_t(channel)].isEmpty()) regions_[size_t(channel)] = bounds[size_t(channel)];
}

QRect SlotPicture::Composer::region(int index) const {
    if (index < 0 || index >= channels_) return {};
    return regions_[size_t(index)];
}

void SlotPicture::Composer::stretchFrom(const std::vector<QImage>& pictures) {
    if (kind_ != ClipMaking::Kind::ultraviolet) return;
    for (size_t channel = 0; channel < pictures.size() && channel < stretches_.size(); ++channel)
        if (!pictures[channel].isNull()) stretches_[channel] = stretchOf(pictures[channel], size_);
}

QImage SlotPicture::Composer::compose(const std::vector<QImage>& pictures) const {
    std::vector<Source> sources;
    for (size_t channel = 0; channel < pictures.size() && channel < size_t(channels_); ++channel)
        sources.push_back(prepared(pictures[channel], regions_[channel], size_));
    sources.resize(size_t(channels_));
    QImage frame(size_, size_, QImage::Format_RGB32);
    const QRgb black = qRgb(0, 0, 0);
    switch (kind_) {
    case ClipMaking::Kind::single:
        if (!sources.front().picture.isNull()) return sources.front().picture;
        break;
    case ClipMaking::Kind::rainbow:
        for (int y = 0; y < size_; ++y) {
            auto* out = reinterpret_cast<QRgb*>(frame.scanLine(y));
            for (int at = rowStarts_[size_t(y)]; at < rowStarts_[size_t(y) + 1]; ++at) {
                const Run& run = runs_[size_t(at)];
                const Source& source = sources[size_t(run.channel)];
                if (source.picture.isNull()) {
                    std::fill(out + run.from, out + run.to, black);
                    continue;
                }
                const auto* in = reinterpret_cast<const QRgb*>(source.picture.constScanLine(y - source.top));
                std::memcpy(out + run.from, in + (run.from - source.left),
                            size_t(run.to - run.from) * sizeof(QRgb));
            }
        }
        return frame;
    case ClipMaking::Kind::ultraviolet: {
        // Each channel's stretched brightness is one primary, as three-channel composites are made;
        // nothing is masked, so the corona beyond the limb stays.
        // A channel missing reads as a dark row through a table that keeps it dark: no test per pixel.
        const std::vector<QRgb> darkRow(size_t(size_), black);
        const Stretch dark{};
        const std::uint8_t* tables[3];
        for (size_t channel = 0; channel < 3; ++channel) {
            const bool present = channel < sources.size() && !sources[channel].picture.isNull();
            tables[channel] = present ? stretches_[channel].data() : dark.data();
        }
        auto rowOf = [&](size_t channel, int y) {
            if (tables[channel] == dark.data()) return darkRow.data();
            return reinterpret_cast<const QRgb*>(sources[channel].picture.constScanLine(y));
        };
        for (int y = 0; y < size_; ++y) {
            const QRgb* red = rowOf(0, y);
            const QRgb* green = rowOf(1, y);
            const QRgb* blue = rowOf(2, y);
            auto* out = reinterpret_cast<QRgb*>(frame.scanLine(y));
            for (int x = 0; x < size_; ++x)
                out[x] = 0xff000000u | QRgb(tables[0][qGray(red[x])]) << 16 |
                         QRgb(tables[1][qGray(green[x])]) << 8 | QRgb(tables[2][qGray(blue[x])]);
        }
        return frame;
    }
    }
    frame.fill(black);
    return frame;
}

QImage SlotPicture::compose(ClipMaking::Kind kind, const std::vector<QImage>& pictures, int size) {
    Composer composer(kind, int(pictures.size()), size);
    composer.stretchFrom(pictures);
    return composer.compose(pictures);
}
