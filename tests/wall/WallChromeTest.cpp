#include "WallChrome.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

TEST(WallChrome, ProportionsFollowTheBounds) {
    const ChromeSizes sizes;
    const auto l = WallChrome::layout(QSizeF(1920, 1080), sizes, 0.5, true);
    EXPECT_DOUBLE_EQ(l.scrim.height(), 0.14 * 1080);
    EXPECT_EQ(l.scrim.bottom(), 1080);
    EXPECT_DOUBLE_EQ(l.caption.width(), 0.66 * 1920);
    EXPECT_DOUBLE_EQ(l.caption.height(), 22);
    EXPECT_DOUBLE_EQ(l.attribution.width(), 0.4 * 1920);
    EXPECT_DOUBLE_EQ(l.clock.height(), 18);
    EXPECT_DOUBLE_EQ(l.track.width(), 0.45 * 1920);
    EXPECT_DOUBLE_EQ(l.track.center().x(), 960);
    EXPECT_DOUBLE_EQ(l.playhead.center().x(), 960); // progress 0.5 is the track's middle
    EXPECT_DOUBLE_EQ(l.qrPlate.width(), 108);
    EXPECT_DOUBLE_EQ(l.qrPlate.right(), 1920 - 26);
    EXPECT_DOUBLE_EQ(l.qrCode.width(), 108 - 14);
    // The clock keeps clear of the plate.
    EXPECT_LE(l.clock.right(), l.qrPlate.left());
}

TEST(WallChrome, SmallViewsKeepTheirMinimums) {
    ChromeSizes sizes;
    sizes.timeline = 0.2;
    sizes.playhead = 0.5;
    const auto l = WallChrome::layout(QSizeF(320, 200), sizes, 0.0, false);
    EXPECT_DOUBLE_EQ(l.scrim.height(), 90);
    EXPECT_DOUBLE_EQ(WallChrome::qrPlateSide(QSizeF(320, 200)), 72);
    EXPECT_DOUBLE_EQ(l.track.height(), 1);
    EXPECT_DOUBLE_EQ(l.playhead.width(), 2);
    EXPECT_DOUBLE_EQ(l.playhead.center().x(), l.track.left());
}

TEST(WallChrome, TheCardFitsItsLinesAboveTheCaption) {
    const ChromeSizes sizes;
    const QStringList lines{"AIA 171 Å", "a much longer second line of provenance text"};
    const QSizeF card = WallChrome::cardSize(lines, sizes, 1000);
    EXPECT_GT(card.width(), 100);
    EXPECT_GT(card.height(), 2 * 15);
    const auto l = WallChrome::layout(QSizeF(1920, 1080), sizes, 0, false, card);
    EXPECT_EQ(l.card.size(), card);
    EXPECT_LE(l.card.bottom(), l.caption.top());
    EXPECT_DOUBLE_EQ(WallChrome::cardSize(lines, sizes, 50).width(), 50);
}

// The chrome drawn through its cache looks as drawn directly. The cache keeps each line's picture only as
// wide as its text, so a line that moved, or lost part of its glyphs or its shadow, would show here: on a
// bright picture, where the shadow is seen, at one and two device pixels a point.
TEST(WallChrome, CachedLinesLookAsDrawnDirectly) {
    ChromeState state;
    state.caption = "AIA 171 Å  ·  48 HR TO DEC 9, 21:00";
    state.attribution = "Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams.";
    state.clock = "DEC 8  05:00 UTC";
    state.flare = "M2.4 FLARE, DEC 8 04:12 UTC";
    state.captionOpacity = state.attributionOpacity = state.clockOpacity = state.flareOpacity = 1.0;
    for (const qreal ratio : {1.0, 2.0}) {
        SCOPED_TRACE(ratio);
        const ChromeSizes sizes;
        const auto layout = WallChrome::layout(QSizeF(960, 540), sizes, 0.3, false);
        const auto drawn = [&](ChromeCache* cache) {
            QImage picture(QSize(960, 540) * ratio, QImage::Format_RGB32);
            picture.setDevicePixelRatio(ratio);
            picture.fill(QColor(230, 200, 60));
            QPainter painter(&picture);
            WallChrome::paint(painter, layout, state, sizes, cache);
            return picture;
        };
        ChromeCache cache;
        drawn(&cache); // fills the cache
        const QImage cached = drawn(&cache), direct = drawn(nullptr);
        int worst = 0;
        for (int y = 0; y < direct.height(); ++y)
            for (int x = 0; x < direct.width(); ++x) {
                const QRgb a = cached.pixel(x, y), b = direct.pixel(x, y);
                const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                        std::abs(qBlue(a) - qBlue(b))});
                worst = std::max(worst, d);
            }
        EXPECT_LE(worst, 4);
        // The lines are there: the direct drawing differs from the bare picture.
        QImage bare(direct.size(), QImage::Format_RGB32);
        bare.fill(QColor(230, 200, 60));
        EXPECT_NE(direct.convertToFormat(QImage::Format_RGB32), bare);
    }
}
