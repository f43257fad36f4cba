#include "Playlist.h"

#include <gtest/gtest.h>

namespace {

const QStringList three{"171", "193", "304"};

} // namespace

TEST(Playlist, NextIndexAvoidsNeighboursAndRepeats) {
    EXPECT_EQ(Playlist::nextIndex(three, 0, {}, std::nullopt), 0);
    EXPECT_EQ(Playlist::nextIndex(three, 0, {}, QString("171")), 1);
    EXPECT_EQ(Playlist::nextIndex(three, 1, {"193"}, std::nullopt), 2);
    EXPECT_EQ(Playlist::nextIndex(three, 0, {"193"}, QString("171")), 2);
    EXPECT_EQ(Playlist::nextIndex({"171"}, 0, {"171"}, std::nullopt), 0);
    EXPECT_EQ(Playlist::nextIndex({"171", "193"}, 0, {"193"}, QString("171")), 0);
    EXPECT_EQ(Playlist::nextIndex({}, 0, {}, std::nullopt), std::nullopt);
}

TEST(Playlist, NextIndexWrapsAndKeepsTheFirstOfEqualScores) {
    EXPECT_EQ(Playlist::nextIndex(three, 2, {"304"}, std::nullopt), 0);
    EXPECT_EQ(Playlist::nextIndex(three, 4, {}, std::nullopt), 1); // from past the end wraps
    // Everything held elsewhere: the first in cyclic order from `from`.
    EXPECT_EQ(Playlist::nextIndex(three, 1, {"171", "193", "304"}, std::nullopt), 1);
    // Held elsewhere and just played everywhere but one just played: the repeat wins.
    EXPECT_EQ(Playlist::nextIndex(three, 0, {"171", "193", "304"}, QString("171")), 1);
    EXPECT_EQ(Playlist::nextIndex(three, 2, {"171", "193"}, QString("304")), 2);
    // Duplicated ids each count.
    EXPECT_EQ(Playlist::nextIndex({"171", "171", "193"}, 0, {}, QString("171")), 2);
}

TEST(Playlist, RewoundStepsBackOneClip) {
    EXPECT_EQ(Playlist::rewound(1, 3), 2);
    EXPECT_EQ(Playlist::rewound(2, 3), 0);
    EXPECT_EQ(Playlist::rewound(3, 3), 1);
    EXPECT_EQ(Playlist::rewound(0, 1), 0);
    EXPECT_EQ(Playlist::rewound(0, 0), 0);
    EXPECT_EQ(Playlist::rewound(0, 3), 1);
    EXPECT_EQ(Playlist::rewound(7, -2), 0);
}

TEST(OnScreen, ClaimsPerOwner) {
    int left = 0, right = 0, third = 0;
    OnScreen::claim("171", &left);
    OnScreen::claim("193", &right);
    OnScreen::claim("193", &third);
    EXPECT_EQ(OnScreen::heldElsewhere(&left), (QSet<QString>{"193"}));
    EXPECT_EQ(OnScreen::heldElsewhere(&right), (QSet<QString>{"171", "193"}));
    OnScreen::claim("304", &left); // replaces what left held
    EXPECT_EQ(OnScreen::heldElsewhere(&right), (QSet<QString>{"304", "193"}));
    OnScreen::release(&right);
    OnScreen::release(&right); // twice is harmless
    OnScreen::release(&third);
    EXPECT_EQ(OnScreen::heldElsewhere(&left), QSet<QString>{});
    EXPECT_EQ(OnScreen::heldElsewhere(&right), (QSet<QString>{"304"}));
    OnScreen::release(&left);
    EXPECT_TRUE(OnScreen::claims().empty());
}
