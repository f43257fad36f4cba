#include "ClipChooser.h"
#include "Playlist.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <map>

namespace {

CacheEntry cached(const QString& id) {
    CacheEntry entry;
    entry.id = id;
    entry.label = id;
    entry.video = id + ".mp4";
    entry.updated = "2026-10-01T05:40:00Z";
    return entry;
}

std::vector<CacheEntry> cache(const QStringList& ids) {
    std::vector<CacheEntry> entries;
    for (const QString& id : ids)
        entries.push_back(cached(id));
    return entries;
}

// A cache whose content the test can change between calls.
struct FakeCache {
    std::vector<CacheEntry> entries;
    int reads = 0;
    ClipChooser::EntrySource source() {
        return [this] {
            ++reads;
            return entries;
        };
    }
};

// Plays `count` clips with loops = 1 and gives the ids shown.
QStringList play(ClipChooser& chooser, int count, Shuffle shuffle = Shuffle::off) {
    QStringList shown;
    for (int i = 0; i < count; ++i) {
        const auto entry = chooser.choose(shuffle);
        if (!entry) break;
        shown << entry->id;
        EXPECT_EQ(chooser.clipEnded(1), ClipChooser::AtEnd::playNext);
    }
    return shown;
}

} // namespace

TEST(ClipChooser, FourClipsPlayInOrderThenStartOver) {
    FakeCache fake{cache({"1", "2", "3", "4"})};
    ClipChooser chooser({}, Claims::shared, fake.source());
    CapturedLog captured;
    EXPECT_EQ(play(chooser, 9), (QStringList{"1", "2", "3", "4", "1", "2", "3", "4", "1"}));
    captured.finish();
    EXPECT_EQ(fake.reads, 3); // the playlist is re-formed each time it has been played through
}

TEST(ClipChooser, WantedKeepsItsOrderAndSkipsWhatIsNotCached) {
    EXPECT_EQ(ClipChooser::form({"304", "999", "171"}, cache({"171", "193", "304"})), cache({"304", "171"}));
    EXPECT_EQ(ClipChooser::form({}, cache({"171", "193"})), cache({"171", "193"}));
    // None of the wanted products cached: the screen plays what the cache holds rather than nothing.
    EXPECT_EQ(ClipChooser::form({"999"}, cache({"171"})), cache({"171"}));
    EXPECT_TRUE(ClipChooser::form({"999"}, {}).empty());
}

TEST(ClipChooser, AFirstStartPlaysTheBundledClipUntilAWantedProductArrives) {
    // The default first screen wants the rainbow composite; a fresh cache holds only the seed (193).
    FakeCache fake{cache({"193"})};
    ClipChooser chooser({"rainbow", "171"}, Claims::skipped, fake.source());
    CapturedLog captured;
    EXPECT_EQ(play(chooser, 2), (QStringList{"193", "193"}));
    fake.entries = cache({"193", "rainbow"});
    EXPECT_EQ(play(chooser, 2), (QStringList{"rainbow", "rainbow"}));
    captured.finish();
}

TEST(ClipChooser, EmptyCacheWaitsAndLooksAgain) {
    FakeCache fake;
    ClipChooser chooser({}, Claims::shared, fake.source());
    {
        CapturedLog captured;
        EXPECT_EQ(chooser.choose(Shuffle::off), std::nullopt);
        EXPECT_EQ(captured.finish(), QByteArray("solvane: nothing to play here yet; looking again in 5 s\n"));
    }
    EXPECT_FALSE(chooser.step(1)); // nothing to step through
    fake.entries = cache({"171"});
    const auto entry = chooser.choose(Shuffle::off);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->id, QStringLiteral("171"));
    chooser.release();
}

TEST(ClipChooser, LoopsPlayTheSameClipBeforeChoosing) {
    FakeCache fake{cache({"171", "193"})};
    ClipChooser chooser({}, Claims::shared, fake.source());
    ASSERT_EQ(chooser.choose(Shuffle::off)->id, QStringLiteral("171"));
    CapturedLog captured;
    EXPECT_EQ(chooser.clipEnded(3), ClipChooser::AtEnd::playAgain);
    EXPECT_EQ(chooser.clipEnded(3), ClipChooser::AtEnd::playAgain);
    EXPECT_EQ(chooser.clipEnded(3), ClipChooser::AtEnd::playNext);
    EXPECT_EQ(chooser.loopsDone(), 0);
    EXPECT_EQ(chooser.clipEnded(1), ClipChooser::AtEnd::playNext);
    EXPECT_EQ(captured.finish(), QByteArray("solvane: clip ended (loops done 1 of 3)\n"
                                            "solvane: clip ended (loops done 2 of 3)\n"
                                            "solvane: clip ended (loops done 3 of 3)\n"
                                            "solvane: clip ended (loops done 1 of 1)\n"));
    EXPECT_EQ(chooser.choose(Shuffle::off)->id, QStringLiteral("193"));
}

TEST(ClipChooser, ScreensAvoidEachOther) {
    FakeCache fake{cache({"171", "193", "304"})};
    CapturedLog captured;
    ClipChooser left({}, Claims::shared, fake.source());
    ClipChooser right({}, Claims::shared, fake.source());
    EXPECT_EQ(left.choose(Shuffle::off)->id, QStringLiteral("171"));
    EXPECT_EQ(right.choose(Shuffle::off)->id, QStringLiteral("193")); // 171 is on the left screen
    EXPECT_EQ(OnScreen::claims().size(), 2u);

    // A preview neither claims nor avoids.
    ClipChooser preview({}, Claims::skipped, fake.source());
    EXPECT_EQ(preview.choose(Shuffle::off)->id, QStringLiteral("171"));
    EXPECT_EQ(OnScreen::claims().size(), 2u);

    left.release();
    EXPECT_EQ(OnScreen::heldElsewhere(&right), QSet<QString>{});
    captured.finish();
}

TEST(ClipChooser, AChooserReleasesWhenItGoes) {
    FakeCache fake{cache({"171"})};
    {
        ClipChooser chooser({}, Claims::shared, fake.source());
        chooser.choose(Shuffle::off);
        EXPECT_EQ(OnScreen::claims().size(), 1u);
    }
    EXPECT_TRUE(OnScreen::claims().empty());
}

TEST(ClipChooser, StepBackAndForward) {
    FakeCache fake{cache({"1", "2", "3"})};
    ClipChooser chooser({}, Claims::shared, fake.source());
    CapturedLog captured;
    EXPECT_EQ(play(chooser, 2), (QStringList{"1", "2"}));
    ASSERT_EQ(chooser.choose(Shuffle::off)->id, QStringLiteral("3")); // playing 3, cursor 3

    EXPECT_TRUE(chooser.step(-1));
    EXPECT_EQ(chooser.lastID(), std::nullopt);
    EXPECT_EQ(chooser.choose(Shuffle::off)->id, QStringLiteral("2"));
    EXPECT_TRUE(chooser.step(-1));
    EXPECT_EQ(chooser.choose(Shuffle::off)->id, QStringLiteral("1"));
    EXPECT_TRUE(chooser.step(-1)); // back from the first wraps to the last
    EXPECT_EQ(chooser.choose(Shuffle::off)->id, QStringLiteral("3"));

    chooser.clipEnded(5); // one loop done
    EXPECT_TRUE(chooser.step(1));
    EXPECT_EQ(chooser.loopsDone(), 0);
    EXPECT_EQ(chooser.choose(Shuffle::off)->id, QStringLiteral("1")); // forward: the next in order
    captured.finish();
}

TEST(ClipChooser, OneClipRepeatsItself) {
    FakeCache fake{cache({"171"})};
    ClipChooser chooser({}, Claims::shared, fake.source());
    CapturedLog captured;
    EXPECT_EQ(play(chooser, 3), (QStringList{"171", "171", "171"}));
    EXPECT_TRUE(chooser.step(-1));
    EXPECT_EQ(chooser.choose(Shuffle::off)->id, QStringLiteral("171"));
    captured.finish();
}

TEST(ClipChooser, ShuffleIsAPermutationAndUniform) {
    FakeCache fake{cache({"a", "b", "c", "d"})};
    ClipChooser chooser({}, Claims::skipped, fake.source());
    std::map<QString, int> first;
    const int rounds = 4000;
    for (int i = 0; i < rounds; ++i) {
        chooser.reload(Shuffle::on);
        QStringList ids;
        for (const auto& entry : chooser.playlist())
            ids << entry.id;
        ASSERT_EQ(QStringList(ids).size(), 4);
        ids.sort();
        ASSERT_EQ(ids, (QStringList{"a", "b", "c", "d"}));
        ++first[chooser.playlist().front().id];
    }
    for (const auto& [id, count] : first)
        EXPECT_NEAR(count, rounds / 4, rounds / 20) << id.toStdString();
}
