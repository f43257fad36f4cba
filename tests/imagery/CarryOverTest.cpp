#include "CarryOver.h"

#include <gtest/gtest.h>

TEST(CarryOver, OldCacheIsCorvaneBesideTheCurrentFolder) {
    EXPECT_EQ(CarryOver::defaultOldCache(QStringLiteral("/c/Library/Caches/Solvane")),
              QStringLiteral("/c/Library/Caches/Corvane"));
    EXPECT_EQ(CarryOver::defaultOldCache(QStringLiteral("/home/ann/.cache/Solvane/")),
              QStringLiteral("/home/ann/.cache/Corvane"));
}
