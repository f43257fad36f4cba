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

// Linear light is held as 16-bit fixed point (0 ... 65535 for 0 ... 1), fine enough that every 8-bit
// level, even the darkest, keeps its own value, and narrow enough that the blur runs on 16 lanes at once.
struct ToneTables {
    std::array<quint16, 256> toLinear{};
    std::vector<uchar> toEncoded; // indexed by the linear value
    ToneTables() : toEncoded(65536) {
        for (int i = 0; i < 256; ++i)
            toLinear[size_t(i)] = quint16(std::lround(Looks::sRGBToLinear(i / 255.0) * 65535.0));
        for (int i = 0; i < 65536; ++i)
            toEncoded[size_t(i)] = uchar(std::lround(Looks::linearToSRGB(i / 65535.0) * 255.0));
    }
};

const ToneTables& toneTables() {
    static const ToneTables tables;
    return tables;
}

// The blur reaches three standard deviations either side.
constexpr int blurRadius = 6;
static_assert(blurRadius >= 3.0 * Looks::detailRadius && blurRadius < 3.0 * Looks::detailRadius + 1);
constexpr int blurTaps = 2 * blurRadius + 1;
using BlurWeights = std::array<quint16, blurRadius + 1>;

// The Gaussian as fractions of 65536, weights[k] for the taps k away from the centre. They add up to
// exactly 65536, so a flat area stays flat.
BlurWeights gaussianWeights(double sigma) {
    std::array<double, blurRadius + 1> exact{};
    double sum = 0;
    for (int k = 0; k <= blurRadius; ++k) {
        exact[size_t(k)] = std::exp(-(k * k) / (2.0 * sigma * sigma));
        sum += k == 0 ? exact[0] : 2 * exact[size_t(k)];
    }
    BlurWeights weights{};
    int given = 0;
    for (int k = 1; k <= blurRadius; ++k) {
        weights[size_t(k)] = quint16(std::lround(exact[size_t(k)] / sum * 65536.0));
        given += 2 * weights[size_t(k)];
    }
    weights[0] = quint16(65536 - given);
    return weights;
}

// An AVX2 copy picked when the program loads, where the CPU has it. Not under ThreadSanitizer: the
// load-time picker would run before the sanitizer is ready and crash.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define AVX2_CLONE __attribute__((target_clones("avx2", "default")))
#else
#define AVX2_CLONE
#endif

// The rows read and the row written never overlap; the compilers vectorise the blur only when told.
#if defined(__clang__)
#define NO_OVERLAP _Pragma("clang loop vectorize(assume_safety)")
#else
#define NO_OVERLAP _Pragma("GCC ivdep")
#endif

// The high half of a 16 x 16-bit product: one instruction on 16 lanes once the loops below vectorise.
inline quint16 scaled(quint16 value, quint16 weight) {
    return quint16((quint32(value) * weight) >> 16);
}

// One blurred row of `count` values: out[i] is the weighted sum of tap(k, i) for k in -blurRadius ...
// blurRadius. All taps are summed in a register before one store; truncating each product loses half a unit
// on average, which the bias puts back.
template <typename Tap>
[[gnu::always_inline]] inline void blurRow(Tap tap, quint16* __restrict out, size_t count,
                                           const BlurWeights& w) {
    constexpr quint16 bias = blurTaps / 2;
    NO_OVERLAP
    for (size_t i = 0; i < count; ++i) {
        quint16 sum = quint16(bias + scaled(tap(0, i), w[0]));
        for (int k = 1; k <= blurRadius; ++k)
            sum = quint16(sum + scaled(tap(-k, i), w[size_t(k)]) + scaled(tap(k, i), w[size_t(k)]));
        out[i] = sum;
    }
}

// Across a row the taps are its neighbours a whole pixel (three values) apart.
AVX2_CLONE void blurAcross(const quint16* in, quint16* out, size_t count, const BlurWeights& weights) {
    const BlurWeights w = weights;
    blurRow([in](int k, size_t i) { return in[ptrdiff_t(i) + k * 3]; }, out, count, w);
}

// Down, the taps are the rows above and below, rows[0] the centre.
AVX2_CLONE void blurDown(const quint16* const* rows, quint16* out, size_t count, const BlurWeights& weights) {
    const BlurWeights w = weights;
    const quint16* t[blurTaps];
    std::copy(rows - blurRadius, rows + blurRadius + 1, t);
    blurRow([&t](int k, size_t i) { return t[k + blurRadius][i]; }, out, count, w);
}

// sharp + intensity x (sharp - blurred), clamped to the linear range; written with unsigned 16-bit
// steps only (saturating differences, high-half products, min and max) so it runs on 16 lanes.
AVX2_CLONE void sharpen(const quint16* __restrict sharp, const quint16* __restrict blurred,
                        quint16* __restrict out, size_t count, quint16 intensity16) {
    for (size_t i = 0; i < count; ++i) {
        const quint16 s = sharp[i], b = blurred[i];
        const quint16 up = scaled(quint16(std::max(s, b) - b), intensity16);
        const quint16 down = scaled(quint16(std::max(s, b) - s), intensity16);
        const quint16 raised = quint16(s + std::min(up, quint16(65535 - s)));
        out[i] = quint16(std::max(raised, down) - down);
    }
}

// A row in linear light with `blurRadius` copies of its outermost pixels on either side, so the blur across
// needs no edge cases.
void toLinearRow(const QRgb* in, quint16* padded, int width, const std::array<quint16, 256>& toLinear) {
    quint16* row = padded + blurRadius * 3;
    for (int x = 0; x < width; ++x) {
        row[x * 3] = toLinear[size_t(qRed(in[x]))];
        row[x * 3 + 1] = toLinear[size_t(qGreen(in[x]))];
        row[x * 3 + 2] = toLinear[size_t(qBlue(in[x]))];
    }
    for (int k = 1; k <= blurRadius; ++k)
        for (int c = 0; c < 3; ++c) {
            row[-k * 3 + c] = row[c];
            row[(width - 1 + k) * 3 + c] = row[(width - 1) * 3 + c];
        }
}

// Scratch rows kept per thread, so a frame allocates nothing but its result.
struct DetailScratch {
    std::vector<quint16> linear;  // rows in linear light (padded), row r at slot r % blurTaps
    std::vector<quint16> across;  // the same rows blurred across
    std::vector<int> ringRow;     // which row each slot holds
    std::vector<quint16> blurred; // the current row blurred both ways
    std::vector<quint16> sharp;   // the current row sharpened
};

} // namespace

QImage Looks::detail(const QImage& image) {
    if (image.isNull()) return image;
    const ToneTables& tones = toneTables();
    static const BlurWeights weights = gaussianWeights(detailRadius);
    const quint16 intensity16 = quint16(std::lround(detailIntensity * 65536.0));

    const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const QImage source = image.convertToFormat(format);
    const int width = source.width(), height = source.height();
    const size_t rowValues = size_t(width) * 3;
    const size_t paddedValues = size_t(width + 2 * blurRadius) * 3;

    thread_local DetailScratch scratch;
    scratch.linear.resize(paddedValues * blurTaps);
    scratch.across.resize(rowValues * blurTaps);
    scratch.ringRow.assign(blurTaps, -1);
    scratch.blurred.resize(rowValues);
    scratch.sharp.resize(rowValues);

    // Row r in linear light and blurred across, made once when first needed; the ring holds the window
    // of rows the blur down reads, so it stays in cache.
    const auto slotOf = [&](int r) {
        const size_t slot = size_t(r % blurTaps);
        if (scratch.ringRow[slot] != r) {
            quint16* padded = scratch.linear.data() + paddedValues * slot;
            toLinearRow(reinterpret_cast<const QRgb*>(source.constScanLine(r)), padded, width,
                        tones.toLinear);
            blurAcross(padded + blurRadius * 3, scratch.across.data() + rowValues * slot, rowValues, weights);
            scratch.ringRow[slot] = r;
        }
        return slot;
    };

    QImage out(source.size(), format);
    const bool opaque = format == QImage::Format_RGB32;
    const uchar* encode = tones.toEncoded.data();
    for (int y = 0; y < height; ++y) {
        std::array<const quint16*, blurTaps> rows{};
        for (int k = 0; k < blurTaps; ++k)
            rows[size_t(k)] =
                scratch.across.data() + rowValues * slotOf(std::clamp(y + k - blurRadius, 0, height - 1));
        blurDown(rows.data() + blurRadius, scratch.blurred.data(), rowValues, weights);
        const quint16* sharp = scratch.linear.data() + paddedValues * slotOf(y) + blurRadius * 3;
        sharpen(sharp, scratch.blurred.data(), scratch.sharp.data(), rowValues, intensity16);

        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        const quint16* values = scratch.sharp.data();
        auto* po = reinterpret_cast<QRgb*>(out.scanLine(y));
        const auto encoded = [&](int x) {
            const size_t i = size_t(x) * 3;
            return qRgb(encode[values[i]], encode[values[i + 1]], encode[values[i + 2]]);
        };
        if (opaque)
            for (int x = 0; x < width; ++x)
                po[x] = encoded(x);
        else
            for (int x = 0; x < width; ++x)
                po[x] = (encoded(x) & 0x00ffffffu) | (in[x] & 0xff000000u);
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
