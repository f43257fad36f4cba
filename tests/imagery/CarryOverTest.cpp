#include "CarryOver.h"

#include <QSet>
#include <QStringList>
#include <gtest/gtest.h>

TEST(CarryOver, OldCacheIsCorvaneBesideTheCurrentFolder) {
    EXPECT_EQ(CarryOver::defaultOldCache(QStringLiteral("/c/Library/Caches/Solvane")),
              QStringLiteral("/c/Library/Caches/Corvane"));
    EXPECT_EQ(CarryOver::defaultOldCache(QStringLiteral("/home/ann/.cache/Solvane/")),
              QStringLiteral("/home/ann/.cache/Corvane"));
}

TEST(CarryOver, TwentyUniqueKeysWithoutTheDeveloperFlags) {
    QStringList raw;
    for (Settings::Key key : CarryOver::keys)
        raw << Settings::rawValue(key);
    EXPECT_EQ(raw.size(), 20);
    EXPECT_EQ(raw.first(), QStringLiteral("mode"));
    EXPECT_EQ(raw.last(), QStringLiteral("appearance"));
    EXPECT_EQ(QSet<QString>(raw.begin(), raw.end()).size(), raw.size());
    for (const char* left : {"cacheHome", "installUpdatesNow", "checkUpdatesNow", "updateFeed",
                             "desktopCounter", "migratedFromCorvane", "captionUTC", "liveStatusIcon"})
        EXPECT_FALSE(raw.contains(QLatin1String(left))) << left;
}
