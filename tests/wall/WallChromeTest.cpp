#include "WallChrome.h"

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
