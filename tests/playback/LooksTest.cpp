#include "Looks.h"
#include "LookState.h"

#include <QColor>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <vector>

namespace {

QImage solid(int grey, QSize size = {8, 6}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(grey, grey, grey));
    return image;
}

// Every pixel's red, green and blue equal `value`.
bool isFlat(const QImage& image, int value) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            if (qRed(p) != value || qGreen(p) != value || qBlue(p) != value) return false;
        }
    return true;
}

int redAt(const QImage& image, int x, int y) {
    return qRed(image.pixel(x, y));
}

// Serves the frame of slot s as solid grey 10 x s (mod 250), and counts what it is asked for.
class KnownFrames : public FrameSource {
public:
    std::optional<QImage> frameAt(qint64 value, qint32 timescale) override {
        asked.push_back({value, timescale});
        if (failing) return std::nullopt;
        return solid(greyOf(int(value)));
    }
    static int greyOf(int slot) { return (slot * 10) % 250; }

    std::vector<std::pair<qint64, qint32>> asked;
    bool failing = false;
};

LookState::Request at(int slot, int grey) {
    return {solid(grey), slot / 18.0};
}

} // namespace

TEST(LookRules, CyclingDependsOnTheProduct) {
    EXPECT_EQ(Looks::next("punch_wide", Look::detail), Look::running);
    EXPECT_EQ(Looks::next("PunchWide", Look::running), Look::natural);
    EXPECT_EQ(Looks::next("punch", Look::base), Look::natural); // not allowed there
    EXPECT_EQ(Looks::next("171", Look::natural), Look::detail);
    EXPECT_EQ(Looks::next("171", Look::running), Look::base);
    EXPECT_EQ(Looks::next("171", Look::base), Look::natural);
    EXPECT_EQ(Looks::resolved("punch", Look::base), Look::natural);
    EXPECT_EQ(Looks::resolved("171", Look::base), Look::base);
}

TEST(LookRules, ReduceMotionSkipsRunningDifference) {
    EXPECT_EQ(Looks::next("171", Look::detail, ReduceMotion::on), Look::base);
    EXPECT_EQ(Looks::next("punch", Look::detail, ReduceMotion::on), Look::natural);
    EXPECT_EQ(Looks::next("171", Look::running, ReduceMotion::on), Look::natural);
    EXPECT_EQ(Looks::next("171", Look::detail, ReduceMotion::off), Look::running);
    EXPECT_EQ(Looks::resolved("171", Look::running, ReduceMotion::on), Look::natural);
    EXPECT_EQ(Looks::resolved("171", Look::base, ReduceMotion::on), Look::base);
    EXPECT_EQ(Looks::resolved("171", Look::running, ReduceMotion::off), Look::running);
}

TEST(Looks, LagArithmetic) {
    EXPECT_EQ(Looks::lagSlots(3), 3);
    for (qint64 other : {0, 1, 2, 4, -3, 300})
        EXPECT_EQ(Looks::lagSlots(other), 1);
    EXPECT_DOUBLE_EQ(Looks::lagSeconds(3), 3 / 18.0);
    EXPECT_EQ(Looks::sunMinutes(1), 20);
    EXPECT_EQ(Looks::sunMinutes(3), 60);
}

TEST(Looks, DifferenceIsMidGreyPlusGainTimesChange) {
    EXPECT_TRUE(isFlat(Looks::difference(solid(100), solid(100)), 128));
    EXPECT_TRUE(isFlat(Looks::difference(solid(100), solid(90)), 158)); // 127.5 + 3 x 10
    EXPECT_TRUE(isFlat(Looks::difference(solid(90), solid(100)), 98));
    EXPECT_TRUE(isFlat(Looks::difference(solid(255), solid(0)), 255)); // clamped
    EXPECT_TRUE(isFlat(Looks::difference(solid(0), solid(255)), 0));
    EXPECT_TRUE(isFlat(Looks::difference(solid(100), solid(90), 1.0), 138));
    EXPECT_TRUE(
        isFlat(Looks::difference(solid(100), solid(90), 2.5), 153)); // a fractional gain: 152.5 rounds up
    EXPECT_TRUE(isFlat(Looks::difference(solid(90), solid(100), 2.5), 103));

    // Channels are independent and the result is opaque over a's extent.
    QImage a(4, 3, QImage::Format_ARGB32), b(2, 2, QImage::Format_ARGB32);
    a.fill(qRgba(120, 100, 80, 10));
    b.fill(qRgba(100, 100, 100, 200));
    const QImage d = Looks::difference(a, b);
    EXPECT_EQ(d.size(), QSize(4, 3));
    EXPECT_EQ(d.pixel(3, 2), qRgba(188, 128, 68, 255));
}

TEST(Looks, DifferenceOfNothingIsTheImage) {
    EXPECT_TRUE(Looks::difference(QImage(), solid(1)).isNull());
    EXPECT_TRUE(isFlat(Looks::difference(solid(77), QImage()), 77));
}

TEST(Looks, DeepImagesKeepTheirPrecision) {
    QImage a(2, 2, QImage::Format_RGBA64), b(2, 2, QImage::Format_RGBA64);
    a.fill(QColor::fromRgbF(0.5f, 0.5f, 0.5f));
    b.fill(QColor::fromRgbF(0.4f, 0.4f, 0.4f));
    const QImage d = Looks::difference(a, b);
    EXPECT_EQ(d.format(), QImage::Format_RGBA64);
    EXPECT_NEAR(d.pixelColor(1, 1).redF(), 0.8, 1e-4);
}

TEST(Looks, ToneCurvesFollowTheSRGBDefinition) {
    EXPECT_NEAR(Looks::linearToSRGB(0.0031308), 0.04045, 1e-5);
    EXPECT_NEAR(Looks::sRGBToLinear(0.5), 0.214041, 1e-6);
    EXPECT_NEAR(Looks::linearToSRGB(1.0), 1.0, 1e-12);
    EXPECT_NEAR(Looks::sRGBToLinear(0.02), 0.02 / 12.92, 1e-12);
    for (double v : {0.0, 0.001, 0.04, 0.2, 0.7, 1.0})
        EXPECT_NEAR(Looks::linearToSRGB(Looks::sRGBToLinear(v)), v, 1e-9);
}

TEST(Looks, DetailLeavesFlatAreasAndSharpensEdges) {
    EXPECT_TRUE(isFlat(Looks::detail(solid(93, {40, 30})), 93));
    EXPECT_TRUE(isFlat(Looks::detail(solid(200, {3, 2})), 200)); // narrower than the blur

    // A vertical step from 64 to 192 at x = 20: overshoot on both sides, untouched far away.
    QImage step(40, 8, QImage::Format_RGB32);
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 8; ++y)
            step.setPixel(x, y, x < 20 ? qRgb(64, 64, 64) : qRgb(192, 192, 192));
    const QImage sharp = Looks::detail(step);
    ASSERT_EQ(sharp.size(), step.size());
    EXPECT_LT(redAt(sharp, 19, 4), 64);
    EXPECT_GT(redAt(sharp, 20, 4), 192);
    EXPECT_EQ(redAt(sharp, 2, 4), 64);
    EXPECT_EQ(redAt(sharp, 37, 4), 192);
    // Rows are alike: the edge repeats at the top and bottom instead of fading into black.
    EXPECT_EQ(sharp.pixel(19, 0), sharp.pixel(19, 4));
    EXPECT_EQ(redAt(sharp, 2, 0), 64);
}

// The unsharp mask written plainly in double precision, the yardstick for the fast fixed-point one.
QImage referenceDetail(const QImage& image) {
    const int width = image.width(), height = image.height(), radius = 6;
    std::vector<double> weights;
    double total = 0;
    for (int k = -radius; k <= radius; ++k)
        total += weights.emplace_back(std::exp(-k * k / (2.0 * Looks::detailRadius * Looks::detailRadius)));
    QImage out(image.size(), QImage::Format_RGB32);
    for (int c = 0; c < 3; ++c) {
        std::vector<double> linear(size_t(width * height)), across(linear.size());
        const auto at = [&](int x, int y) {
            return size_t(std::clamp(y, 0, height - 1) * width + std::clamp(x, 0, width - 1));
        };
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const QRgb p = image.pixel(x, y);
                linear[at(x, y)] = Looks::sRGBToLinear((c == 0   ? qRed(p)
                                                        : c == 1 ? qGreen(p)
                                                                 : qBlue(p)) /
                                                       255.0);
            }
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int k = -radius; k <= radius; ++k)
                    across[at(x, y)] += weights[size_t(k + radius)] / total * linear[at(x + k, y)];
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                double blurred = 0;
                for (int k = -radius; k <= radius; ++k)
                    blurred += weights[size_t(k + radius)] / total * across[at(x, y + k)];
                const double sharp = linear[at(x, y)] + Looks::detailIntensity * (linear[at(x, y)] - blurred);
                const int value = int(std::lround(Looks::linearToSRGB(std::clamp(sharp, 0.0, 1.0)) * 255.0));
                const QRgb p = out.pixel(x, y);
                out.setPixel(
                    x, y,
                    qRgb(c == 0 ? value : qRed(p), c == 1 ? value : qGreen(p), c == 2 ? value : qBlue(p)));
            }
    }
    return out;
}

TEST(Looks, DetailMatchesThePlainComputationWithinOneLevel) {
    std::mt19937 random(7);
    QImage noise(67, 41, QImage::Format_RGB32), disc(96, 96, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random() | 0xff000000u);
    // The Sun on black, coloured as the imagery is: a bright disc with fine structure and a hard limb.
    for (int y = 0; y < disc.height(); ++y)
        for (int x = 0; x < disc.width(); ++x) {
            const int d = (x - 48) * (x - 48) + (y - 48) * (y - 48);
            const int v = d < 36 * 36 ? 150 + int(random() % 60) : int(random() % 6);
            disc.setPixel(x, y, qRgb(v, std::max(v - 40, 0), std::max(v - 90, 0)));
        }
    for (const QImage& image : {noise, disc}) {
        const QImage fast = Looks::detail(image), plain = referenceDetail(image);
        int offByOne = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                for (int shift : {0, 8, 16}) {
                    const int d = std::abs(int(fast.pixel(x, y) >> shift & 0xff) -
                                           int(plain.pixel(x, y) >> shift & 0xff));
                    ASSERT_LE(d, 1) << "at " << x << "," << y;
                    offByOne += d;
                }
        EXPECT_LT(offByOne, image.width() * image.height() * 3 / 100) << "more than 1 % of values differ";
    }
}

TEST(Looks, DetailKeepsEveryFlatLevel) {
    for (int level = 0; level < 256; ++level) {
        QImage image(20, 15, QImage::Format_RGB32);
        image.fill(qRgb(level, 255 - level, level / 2));
        const QImage out = Looks::detail(image);
        ASSERT_EQ(out.pixel(0, 0), image.pixel(0, 0)) << "level " << level;
        ASSERT_EQ(out.pixel(10, 7), image.pixel(0, 0)) << "level " << level;
    }
}

TEST(Looks, DetailKeepsAlpha) {
    QImage image(10, 10, QImage::Format_ARGB32);
    image.fill(qRgba(50, 60, 70, 77));
    EXPECT_EQ(qAlpha(Looks::detail(image).pixel(5, 5)), 77);
}

TEST(Looks, TheLookTestPassesWithTheDefaultGain) {
    const QStringList lines = Looks::checkLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("ok no change is mid grey (128)"));
    EXPECT_EQ(lines[1], QStringLiteral("ok brighter than the reference is lighter (204)"));
    EXPECT_EQ(lines[2], QStringLiteral("ok darker than the reference is darker (51)"));
}

TEST(Looks, TheLookTestFailsWithoutGain) {
    const QStringList lines = Looks::checkLines(0.0);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("ok no change is mid grey (128)"));
    EXPECT_EQ(lines[1], QStringLiteral("FAIL brighter than the reference should be lighter, got 128"));
    EXPECT_EQ(lines[2], QStringLiteral("FAIL darker than the reference should be darker, got 128"));
}

TEST(LookState, NaturalAndDetailNeedNoFrames) {
    auto frames = std::make_shared<KnownFrames>();
    LookState natural(frames, Look::natural, 1);
    EXPECT_TRUE(isFlat(natural.render(at(5, 40)), 40));
    LookState detail(frames, Look::detail, 1);
    const QImage sharpened = detail.render(at(5, 40));
    EXPECT_EQ(sharpened.size(), QSize(8, 6));
    EXPECT_TRUE(isFlat(sharpened, 40));
    EXPECT_TRUE(frames->asked.empty());
}

TEST(LookState, RunningDifferenceStartsFlatGreyThenComparesLagSlotsBack) {
    auto frames = std::make_shared<KnownFrames>();
    LookState state(frames, Look::running, 3);
    for (int slot = 0; slot < 3; ++slot)
        EXPECT_TRUE(isFlat(state.render(at(slot, 100 + slot)), 128)) << slot;
    // Slot 3 is compared with slot 0 from the history: 103 - 100 = 3 levels, times 3.
    EXPECT_TRUE(isFlat(state.render(at(3, 103)), 137));
    EXPECT_TRUE(frames->asked.empty());
}

TEST(LookState, AMissingReferenceIsFetchedExactly) {
    auto frames = std::make_shared<KnownFrames>();
    LookState state(frames, Look::running, 1);
    // Jumping to slot 50: slot 49 is not in the history, so it is decoded at 49/18 s exactly.
    const int grey = KnownFrames::greyOf(49) + 10;
    EXPECT_TRUE(isFlat(state.render(at(50, grey)), 158));
    ASSERT_EQ(frames->asked.size(), 1u);
    EXPECT_EQ(frames->asked[0], (std::pair<qint64, qint32>{49, 18}));

    // A reference that cannot be decoded: the frame is its own reference.
    frames->failing = true;
    EXPECT_TRUE(isFlat(state.render(at(90, 33)), 128));
}

TEST(LookState, HistoryStaysBoundedWhileScrubbing) {
    auto frames = std::make_shared<KnownFrames>();
    const int lag = 3, window = lag + 6;
    LookState state(frames, Look::running, lag);
    auto check = [&](int slot) {
        state.render(at(slot, 50));
        const auto slotCount = state.historySlots();
        ASSERT_LE(slotCount.size(), size_t(2 * window + 1));
        for (int held : slotCount)
            ASSERT_LE(std::abs(held - slot), window) << "holding " << held << " at " << slot;
    };
    for (int slot = 0; slot < 144; ++slot)
        check(slot);
    for (int slot = 143; slot >= 0; slot -= 7)
        check(slot);
    for (int round = 0; round < 20; ++round) {
        check(round % 2 ? 140 : 3); // back and forth across the clip
        check(70 + round);
    }
    EXPECT_LE(state.historySize(), size_t(2 * window + 1));
}

TEST(LookState, BaseReferenceIsFetchedOnce) {
    auto frames = std::make_shared<KnownFrames>();
    LookState state(frames, Look::base, 1);
    EXPECT_FALSE(state.hasBase());
    for (int slot = 0; slot < 30; ++slot)
        EXPECT_TRUE(isFlat(state.render(at(slot, 10)), 158)) << slot; // slot 0's frame is grey 0
    ASSERT_EQ(frames->asked.size(), 1u);
    EXPECT_EQ(frames->asked[0], (std::pair<qint64, qint32>{0, 18}));
    EXPECT_TRUE(state.hasBase());
}

TEST(LookState, BaseWithoutAFirstFrameIsFlatGrey) {
    auto frames = std::make_shared<KnownFrames>();
    frames->failing = true;
    LookState state(frames, Look::base, 1);
    EXPECT_TRUE(isFlat(state.render(at(4, 200)), 128));
    LookState sourceless(nullptr, Look::base, 1);
    EXPECT_TRUE(isFlat(sourceless.render(at(4, 200)), 128));
}

TEST(LookState, RendersFromSeveralThreads) {
    auto frames = std::make_shared<KnownFrames>();
    LookState state(frames, Look::running, 1);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const QImage out = state.render(at((i * 4 + t) % 144, 60));
                if (out.size() != QSize(8, 6)) ++wrong;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(state.historySize(), size_t(2 * 7 + 1));
}
