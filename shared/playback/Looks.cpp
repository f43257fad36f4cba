#include "Looks.h"

#include "SolarTime.h"

#include <QColor>
#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>
#include <vector>

int Looks::lagSlots(qint64 setting) {
    return setting == 3 ? 3 : 1;
}

double Looks::lagSeconds(int slotCount) {
    return slotCount / SolarTime::fps;
}

int Looks::sunMinutes(int slotCount) {
    return static_cast<int>(slotCount * SolarTime::cadence / 60.0);
}

double Looks::linearToSRGB(double linear) {
    if (linear <= 0.0031308) return 12.92 * linear;
    return 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

double Looks::sRGBToLinear(double encoded) {
    if (encoded <= 0.04045) return encoded / 12.92;
    return std::pow((encoded + 0.055) / 1.055, 2.4);
}

namespace {

bool isDeep(const QImage& image) {
    return image.depth() > 32;
}

// The kernel on 8-bit values: one table entry per difference -255 ... 255.
std::array<uchar, 511> differenceTable(double g) {
    std::array<uchar, 511> table{};
    for (int d = -255; d <= 255; ++d) {
        // 0.5 + g x d / 255 in 0 ... 1, scaled to bytes; written this way so halves stay exact.
        const double value = std::clamp(127.5 + g * d, 0.0, 255.0);
        table[size_t(d + 255)] = uchar(std::lround(value));
    }
    return table;
}

// One row of the kernel for a whole-number gain: 127.5 + g x d always ends in .5, so rounding away from
// zero and clamping is 128 + g x d clamped, plain integer arithmetic on every byte. With the gain known
// at compile time the arithmetic fits 16-bit lanes, which vectorises twice as wide.
template <typename Gain>
void differenceRow(const uchar* __restrict pa, const uchar* __restrict pb, uchar* __restrict po, int width,
                   Gain gain) {
    const int bytes = width * 4;
    for (int i = 0; i < bytes; ++i)
        po[i] = uchar(std::clamp(128 + gain * (int(pa[i]) - int(pb[i])), 0, 255));
    auto* pixels = reinterpret_cast<QRgb*>(po);
    for (int x = 0; x < width; ++x)
        pixels[x] |= 0xff000000u; // opaque
}

QImage difference8(const QImage& a, const QImage& b, double g) {
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    QImage out(left.size(), QImage::Format_RGB32);
    const int width = left.width();
    const int gain = int(g);
    if (double(gain) == g && gain >= -255 && gain <= 255) {
        for (int y = 0; y < left.height(); ++y) {
            if (gain == 3)
                differenceRow(left.constScanLine(y), right.constScanLine(y), out.scanLine(y), width,
                              std::integral_constant<int, 3>());
            else
                differenceRow(left.constScanLine(y), right.constScanLine(y), out.scanLine(y), width, gain);
        }
        return out;
    }
    static const std::array<uchar, 511> standard = differenceTable(Looks::gain);
    const std::array<uchar, 511> table = g == Looks::gain ? standard : differenceTable(g);
    for (int y = 0; y < left.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(left.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(right.constScanLine(y));
        auto* po = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = pa[x], q = pb[x];
            const uchar r = table[size_t(qRed(p) - qRed(q) + 255)];
            const uchar gr = table[size_t(qGreen(p) - qGreen(q) + 255)];
            const uchar bl = table[size_t(qBlue(p) - qBlue(q) + 255)];
            po[x] = qRgb(r, gr, bl);
        }
    }
    return out;
}

QImage difference16(const QImage& a, const QImage& b, double g) {
    const QImage left = a.convertToFormat(QImage::Format_RGBA64);
    const QImage right = b.convertToFormat(QImage::Format_RGBA64);
    QImage out(left.size(), QImage::Format_RGBA64);
    const auto channel = [g](quint16 p, quint16 q) {
        const double value = std::clamp(0.5 + g * (double(p) - double(q)) / 65535.0, 0.0, 1.0);
        return quint16(std::lround(value * 65535.0));
    };
    for (int y = 0; y < left.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgba64*>(left.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgba64*>(right.constScanLine(y));
        auto* po = reinterpret_cast<QRgba64*>(out.scanLine(y));
        for (int x = 0; x < left.width(); ++x)
            po[x] =
                QRgba64::fromRgba64(channel(pa[x].red(), pb[x].red()), channel(pa[x].green(), pb[x].green()),
                                    channel(pa[x].blue(), pb[x].blue()), 65535);
    }
    return out;
}

} // namespace

QImage Looks::difference(const QImage& a, const QImage& minus, double g) {
    if (a.isNull() || minus.isNull()) return a;
    const QImage b = minus.size() == a.size()
                         ? minus
                         : minus.scaled(a.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return isDeep(a) || isDeep(b) ? difference16(a, b, g) : difference8(a, b, g);
}

namespace {

struct ToneTables {
    std::array<float, 256> toLinear{};
    std::vector<uchar> toEncoded; // indexed by linear value x 65535
    ToneTables() : toEncoded(65536) {
        for (int i = 0; i < 256; ++i)
            toLinear[size_t(i)] = float(Looks::sRGBToLinear(i / 255.0));
        for (int i = 0; i < 65536; ++i)
            toEncoded[size_t(i)] = uchar(std::lround(Looks::linearToSRGB(i / 65535.0) * 255.0));
    }
};

const ToneTables& toneTables() {
    static const ToneTables tables;
    return tables;
}

// Normalised Gaussian weights out to three standard deviations.
std::vector<float> gaussianWeights(double sigma) {
    const int radius = int(std::ceil(3.0 * sigma));
    std::vector<float> weights(size_t(2 * radius + 1));
    double sum = 0;
    for (int k = -radius; k <= radius; ++k) {
        const double w = std::exp(-(k * k) / (2.0 * sigma * sigma));
        weights[size_t(k + radius)] = float(w);
        sum += w;
    }
    for (float& w : weights)
        w = float(w / sum);
    return weights;
}

// An AVX2 copy picked when the program loads, where the CPU has it. Not under ThreadSanitizer: the
// load-time picker would run before the sanitizer is ready and crash.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define AVX2_CLONE __attribute__((target_clones("avx2", "default")))
#else
#define AVX2_CLONE
#endif

// Horizontal pass over interleaved RGB floats; edges repeat the outermost pixel. The weights are
// symmetric, so each pair of taps shares one multiplication.
AVX2_CLONE void blurRow(const float* in, float* out, int width, const std::vector<float>& weights) {
    const int radius = int(weights.size() / 2);
    const float* w = weights.data() + radius; // w[k] for k in -radius ... radius
    const auto clampedPass = [&](int x) {
        for (int c = 0; c < 3; ++c) {
            float sum = 0;
            for (int k = -radius; k <= radius; ++k)
                sum += w[k] * in[std::clamp(x + k, 0, width - 1) * 3 + c];
            out[x * 3 + c] = sum;
        }
    };
    if (width <= 2 * radius) {
        for (int x = 0; x < width; ++x)
            clampedPass(x);
        return;
    }
    for (int x = 0; x < radius; ++x)
        clampedPass(x);
    // The interior needs no clamping; these loops vectorise.
    const int begin = radius * 3, end = (width - radius) * 3;
    for (int i = begin; i < end; ++i)
        out[i] = w[0] * in[i];
    for (int k = 1; k <= radius; ++k) {
        const float wk = w[k];
        const float* __restrict left = in - k * 3;
        const float* __restrict right = in + k * 3;
        float* __restrict target = out;
        for (int i = begin; i < end; ++i)
            target[i] += wk * (left[i] + right[i]);
    }
    for (int x = width - radius; x < width; ++x)
        clampedPass(x);
}

// Scratch rows kept per thread, so a frame allocates nothing but its result.
struct DetailScratch {
    std::vector<float> ring;    // horizontally blurred rows, row r at slot r % ringRows
    std::vector<int> ringRow;   // which row each slot holds
    std::vector<float> linear;  // the current row in linear light
    std::vector<float> blurred; // the current row fully blurred
    std::vector<int> index;     // the current row's sharpened values as tone-table indices
};

void toLinearRow(const QRgb* in, float* row, int width, const std::array<float, 256>& toLinear) {
    for (int x = 0; x < width; ++x) {
        row[x * 3] = toLinear[size_t(qRed(in[x]))];
        row[x * 3 + 1] = toLinear[size_t(qGreen(in[x]))];
        row[x * 3 + 2] = toLinear[size_t(qBlue(in[x]))];
    }
}

} // namespace

QImage Looks::detail(const QImage& image) {
    if (image.isNull()) return image;
    const ToneTables& tones = toneTables();
    static const std::vector<float> weights = gaussianWeights(detailRadius);
    const int radius = int(weights.size() / 2);
    const int ringRows = 2 * radius + 1;

    const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const QImage source = image.convertToFormat(format);
    const int width = source.width(), height = source.height();
    const size_t rowFloats = size_t(width) * 3;

    thread_local DetailScratch scratch;
    scratch.ring.resize(rowFloats * size_t(ringRows));
    scratch.ringRow.assign(size_t(ringRows), -1);
    scratch.linear.resize(rowFloats);
    scratch.blurred.resize(rowFloats);
    scratch.index.resize(rowFloats);

    // The horizontally blurred row r, computed once when first needed; the ring holds the window of
    // rows the vertical pass reads, so it stays in cache.
    const auto across = [&](int r) -> const float* {
        const size_t slot = size_t(r % ringRows);
        float* stored = scratch.ring.data() + rowFloats * slot;
        if (scratch.ringRow[slot] != r) {
            toLinearRow(reinterpret_cast<const QRgb*>(source.constScanLine(r)), scratch.linear.data(), width,
                        tones.toLinear);
            blurRow(scratch.linear.data(), stored, width, weights);
            scratch.ringRow[slot] = r;
        }
        return stored;
    };

    QImage out(source.size(), format);
    const float* w = weights.data() + radius;
    const float intensity = float(detailIntensity);
    for (int y = 0; y < height; ++y) {
        float* __restrict blurred = scratch.blurred.data();
        const float* centre = across(y);
        for (size_t i = 0; i < rowFloats; ++i)
            blurred[i] = w[0] * centre[i];
        for (int k = 1; k <= radius; ++k) {
            const float* __restrict above = across(std::max(y - k, 0));
            const float* __restrict below = across(std::min(y + k, height - 1));
            const float wk = w[k];
            for (size_t i = 0; i < rowFloats; ++i)
                blurred[i] += wk * (above[i] + below[i]);
        }
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        float* __restrict sharp = scratch.linear.data();
        int* __restrict index = scratch.index.data();
        toLinearRow(in, sharp, width, tones.toLinear);
        // Clamped as integers: the float clamp would not vectorise. The values stay within a few times
        // 0 ... 65535, far from int limits.
        for (size_t i = 0; i < rowFloats; ++i)
            index[i] =
                std::clamp(int((sharp[i] + intensity * (sharp[i] - blurred[i])) * 65535.0f + 0.5f), 0, 65535);
        auto* po = reinterpret_cast<QRgb*>(out.scanLine(y));
        const uchar* encode = tones.toEncoded.data();
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(x) * 3;
            po[x] = qRgba(encode[index[i]], encode[index[i + 1]], encode[index[i + 2]], qAlpha(in[x]));
        }
    }
    return out;
}

QStringList Looks::checkLines(double g) {
    struct Case {
        double a, b;
        const char* okText;
        const char* failText;
        bool (*passes)(int);
    };
    const Case cases[] = {
        {0.4, 0.4, "ok no change is mid grey (", "FAIL no change should be mid grey, got ",
         [](int r) { return std::abs(r - 128) <= 1; }},
        {0.5, 0.4, "ok brighter than the reference is lighter (",
         "FAIL brighter than the reference should be lighter, got ", [](int r) { return r >= 131; }},
        {0.4, 0.5, "ok darker than the reference is darker (",
         "FAIL darker than the reference should be darker, got ", [](int r) { return r <= 125; }},
    };
    QStringList lines;
    for (const Case& c : cases) {
        // Solid 16-bit images, so the grey levels are kept without 8-bit rounding before the kernel.
        QImage a(1, 1, QImage::Format_RGBA64), b(1, 1, QImage::Format_RGBA64);
        a.fill(QColor::fromRgbF(float(c.a), float(c.a), float(c.a)));
        b.fill(QColor::fromRgbF(float(c.b), float(c.b), float(c.b)));
        const QImage pixel =
            difference(a.copy(0, 0, 1, 1), b.copy(0, 0, 1, 1), g).convertToFormat(QImage::Format_RGBA8888);
        const int red = pixel.isNull() ? 0 : pixel.constBits()[0];
        lines << (c.passes(red) ? QLatin1String(c.okText) + QString::number(red) + QLatin1Char(')')
                                : QLatin1String(c.failText) + QString::number(red));
    }
    return lines;
}
