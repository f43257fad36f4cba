#include "Desktop.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

CacheEntry withStill(const QString& id, std::optional<QString> stillUpdated = std::nullopt) {
    CacheEntry entry;
    entry.id = id;
    entry.label = id;
    entry.video = id + ".mp4";
    entry.updated = "2026-10-01T05:40:00Z";
    entry.still = id + ".png";
    entry.stillUpdated = std::move(stillUpdated);
    return entry;
}

CacheEntry clipOnly(const QString& id) {
    CacheEntry entry = withStill(id);
    entry.still.reset();
    return entry;
}

QStringList ids(const std::vector<Desktop::Pick>& picks) {
    QStringList out;
    for (const auto& pick : picks)
        out << QString::number(pick.screen) + ":" + pick.id;
    return out;
}

const std::vector<CacheEntry> abc{withStill("A"), withStill("B"), withStill("C")};

} // namespace

TEST(DesktopPlan, EveryScreenMovesOneStepPerUpdate) {
    EXPECT_EQ(ids(Desktop::plan(abc, {"", ""}, 2, 0)), (QStringList{"0:A", "1:B"}));
    EXPECT_EQ(ids(Desktop::plan(abc, {"", ""}, 2, 1)), (QStringList{"0:B", "1:C"}));
    EXPECT_EQ(ids(Desktop::plan(abc, {"", ""}, 2, 2)), (QStringList{"0:C", "1:A"}));
    // The old "all" pseudo-product and no choices at all mean every product too.
    EXPECT_EQ(ids(Desktop::plan(abc, {"all"}, 2, 0)), (QStringList{"0:A", "1:B"}));
    EXPECT_EQ(ids(Desktop::plan(abc, {}, 3, 0)), (QStringList{"0:A", "1:B", "2:C"}));
}

TEST(DesktopPlan, ScreensDifferWhileACandidateIsFree) {
    // Counter 1: screen 0 starts at B; screen 1 would start at B too, which is taken, so it walks on to A.
    EXPECT_EQ(ids(Desktop::plan(abc, {"A,B", "B,A"}, 2, 1)), (QStringList{"0:B", "1:A"}));
    EXPECT_EQ(ids(Desktop::plan(abc, {"A", "A"}, 2, 0)),
              (QStringList{"0:A", "1:A"})); // all used: start index
    EXPECT_EQ(ids(Desktop::plan(abc, {"", "", "", ""}, 4, 0)), (QStringList{"0:A", "1:B", "2:C", "3:A"}));
}

TEST(DesktopPlan, OffScreensAndMissingStills) {
    // Screen 2 uses entry 0 again ("off"); the off screen still moves the start index along.
    EXPECT_EQ(ids(Desktop::plan(abc, {"off", ""}, 3, 0)), (QStringList{"1:B"}));
    // Products without a cached still are no candidates.
    EXPECT_EQ(ids(Desktop::plan({withStill("A"), clipOnly("B")}, {"B", "B,A"}, 2, 0)), (QStringList{"1:A"}));
    EXPECT_TRUE(Desktop::plan({clipOnly("A")}, {}, 2, 0).empty());
    EXPECT_TRUE(Desktop::plan(abc, {"Z"}, 1, 0).empty());
    EXPECT_TRUE(Desktop::plan(abc, {}, 0, 0).empty());
}

TEST(DesktopPlan, AnyCounterIsSafe) {
    EXPECT_EQ(ids(Desktop::plan(abc, {""}, 1, -1)), (QStringList{"0:C"}));
    EXPECT_EQ(Desktop::plan(abc, {""}, 2, std::numeric_limits<qint64>::max()).size(), 2u);
    EXPECT_EQ(Desktop::plan(abc, {""}, 2, std::numeric_limits<qint64>::min()).size(), 2u);
}

TEST(DesktopPlan, PickCarriesStillAndStampedName) {
    const auto picks = Desktop::plan({withStill("171", QString("2025-01-02T03:04:05Z"))}, {}, 1, 0);
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_EQ(picks[0], (Desktop::Pick{0, "171", "171.png", "171-2025-01-02T03-04-05Z.png"}));
    // Without its own stamp the still takes the clip's.
    EXPECT_EQ(Desktop::fileName(withStill("304")), QStringLiteral("304-2026-10-01T05-40-00Z.png"));
}
