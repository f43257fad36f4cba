// The archive's rules on fixed values: reading a listing leniently, slots, day folders, whole JPEGs.
#include "BrowseRules.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

QDateTime at(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC();
}

QStringList names(const std::vector<Browse::Image>& images) {
    QStringList list;
    for (const auto& image : images)
        list << image.name;
    return list;
}

// A minimal JPEG header: SOI, a comment, a baseline frame header of the given size, EOI.
QByteArray jpeg(int width, int height, bool ended = true) {
    QByteArray bytes("\xFF\xD8\xFF\xFE\x00\x04hi", 8);
    bytes += QByteArray("\xFF\xC0\x00\x0B\x08", 5);
    bytes += char(height >> 8);
    bytes += char(height & 0xFF);
    bytes += char(width >> 8);
    bytes += char(width & 0xFF);
    bytes += QByteArray("\x01\x01\x11\x00", 4);
    bytes += QByteArray("\xFF\xDA\x00\x02", 4) + QByteArray(64, '\x55');
    if (ended) bytes += QByteArray("\xFF\xD9", 2);
    return bytes;
}

} // namespace

TEST(BrowseRules, ListingsAreReadLenientlyAndEveryNameIsJudged) {
    const QDate day(2026, 12, 8);
    const QDateTime now = at("2026-12-08T12:00:00Z");
    const QByteArray listing =
        "<a href=\"20261208_101500_1024_0304.jpg\">x</a>\n"         // kept
        "<A HREF='20261208_100000_1024_0171.jpg'>x</A>\n"           // kept, other quoting
        "href=20261208_100500_1024_0171.jpg>\n"                     // kept, bare, not even HTML
        "<a href=\"../../x/20261208_110000_1024_0193.jpg?C=M\">\n"  // kept by its last component
        "<a href=\"20261208_100000_1024_0171.jpg\">duplicate</a>\n" // once only
        "<a href=\"20261208_100000_0512_0171.jpg\">\n"              // another size
        "<a href=\"20261208_100000_512_0171.jpg\">\n"               // another size
        "<a href=\"20261208_100000_1024_HMIIC.jpg\">\n"             // HMI's intensitygram: kept
        "<a href=\"20261208_100000_1024_HMIBC.jpg\">\n"             // an HMI picture we do not read
        "<a href=\"20261208_100000_1024_0999.jpg\">\n"              // no such channel
        "<a href=\"20261232_100000_1024_0171.jpg\">\n"              // impossible date
        "<a href=\"20261208_246000_1024_0171.jpg\">\n"              // impossible time
        "<a href=\"20261207_235900_1024_0171.jpg\">\n"              // another day
        "<a href=\"20261208_121001_1024_0171.jpg\">\n"              // more than 10 minutes ahead
        "<a href=\"20261208_121000_1024_0171.jpg\">\n"              // exactly 10 minutes ahead: kept
        "<a href=\"20261208_100000_1024_0171.jpg.part\">\n"         // not the pattern
        "<a href=\"\">\n";
    EXPECT_EQ(names(Browse::parseListing(listing, day, now)),
              (QStringList{"20261208_100000_1024_0171.jpg", "20261208_100000_1024_HMIIC.jpg",
                           "20261208_100500_1024_0171.jpg", "20261208_101500_1024_0304.jpg",
                           "20261208_110000_1024_0193.jpg", "20261208_121000_1024_0171.jpg"}));
    EXPECT_TRUE(Browse::parseListing("not a listing at all \xFF\xFE", day, now).empty());
}

TEST(BrowseRules, SlotsHoldTheNewestImageAndGapsHoldTheSlotBefore) {
    struct Case {
        const char* what;
        std::vector<const char*> taken;
        std::vector<std::pair<int, int>> slotShows; // (slot, index into taken)
        int frameCount;
    };
    const std::vector<Case> cases{
        {"one image fills the whole window", {"2026-12-08T12:05:00Z"}, {{0, 0}, {143, 0}}, 1},
        {"the newest image of a slot wins",
         {"2026-12-08T11:41:00Z", "2026-12-08T11:59:59Z", "2026-12-08T12:00:00Z"},
         {{142, 1}, {143, 2}},
         2},
        {"a gap holds the slot before",
         {"2026-12-08T10:00:00Z", "2026-12-08T11:10:00Z"},
         {{0, 0}, {140, 0}, {142, 0}, {143, 1}},
         2},
        {"images older than 48 hours are not shown",
         {"2026-12-06T11:59:00Z", "2026-12-06T12:20:00Z", "2026-12-08T12:00:00Z"},
         {{0, 1}, {143, 2}},
         2},
    };
    for (const Case& c : cases) {
        std::vector<QDateTime> taken;
        for (const char* text : c.taken)
            taken.push_back(at(text));
        const auto frames = Browse::assignFrames(taken);
        ASSERT_TRUE(frames.has_value()) << c.what;
        ASSERT_EQ(frames->perSlot.size(), 144u) << c.what;
        for (auto [slot, index] : c.slotShows)
            EXPECT_EQ(frames->perSlot[size_t(slot)], index) << c.what << ", slot " << slot;
        EXPECT_EQ(frames->frameCount, c.frameCount) << c.what;
        EXPECT_EQ(frames->newest, taken.back()) << c.what;
    }
    EXPECT_FALSE(Browse::assignFrames({}).has_value());
    EXPECT_EQ(Browse::slotStart(at("2026-12-08T12:39:59Z")), at("2026-12-08T12:20:00Z"));
}

TEST(BrowseRules, OnlyDayFoldersThatCanHoldNewImagesAreListed) {
    const QDateTime now = at("2026-12-08T01:00:00Z");
    auto days = [&](std::optional<QDateTime> held) {
        QStringList list;
        for (const QDate& day : Browse::foldersToList(held, now))
            list << day.toString(Qt::ISODate);
        return list;
    };
    EXPECT_EQ(days(std::nullopt), (QStringList{"2026-12-06", "2026-12-07", "2026-12-08"}));
    EXPECT_EQ(days(at("2026-12-07T23:50:00Z")), (QStringList{"2026-12-07", "2026-12-08"}));
    EXPECT_EQ(days(at("2026-12-08T00:50:00Z")), (QStringList{"2026-12-08"}));
    EXPECT_EQ(days(at("2026-11-01T00:00:00Z")), days(std::nullopt))
        << "a long pause lists no more than 48 hours";
}

TEST(BrowseRules, OnlyWholeJpegsOfTheRightSizeAreKept) {
    struct Case {
        QByteArray bytes;
        bool whole;
        QString why;
    };
    const std::vector<Case> cases{
        {jpeg(1024, 1024), true, {}},
        {jpeg(1024, 1024) + QByteArray(16, '\0'), true, {}},
        {jpeg(1024, 1024, false), false, "cut short"},
        // Cut short after an 0xFF, and on a 0xD9 that no 0xFF precedes: both bytes of the marker count.
        {jpeg(1024, 1024, false) + QByteArray("\xFF\xC4", 2), false, "cut short"},
        {jpeg(1024, 1024, false) + QByteArray("\x12\xD9", 2), false, "cut short"},
        {jpeg(512, 512), false, "512 x 512 pixels, not 1024 x 1024"},
        {QByteArray("\x89PNG\r\n\x1a\n", 8), false, "not a JPEG"},
        {QByteArray("<html>error</html>"), false, "not a JPEG"},
        {QByteArray("\xFF\xD8\xFF\xD9", 4), false, "no frame header"},
        {QByteArray("\xFF\xD8\xFF\xFE\x7F\xFF\xFF\xD9", 8), false, "damaged"},
    };
    for (const Case& c : cases) {
        QString why;
        EXPECT_EQ(Browse::isWholeJpeg(c.bytes, 1024, &why), c.whole) << c.bytes.toHex().left(40).constData();
        EXPECT_EQ(why, c.why);
    }
}

TEST(BrowseRules, AFailureIsForgivenOnceAndAPassHasATimeBudget) {
    using Browse::Failure;
    const QDateTime now = at("2026-12-08T12:00:00Z");
    struct Case {
        const char* what;
        bool failedBefore, cutShort;
        const char* taken;
        Failure verdict;
    };
    const Case cases[] = {
        {"a first failure is asked for again", false, false, "2026-12-08T08:00:00Z", Failure::suspect},
        {"a second failure is for good", true, false, "2026-12-08T08:00:00Z", Failure::rejected},
        {"cut short while NASA may still be writing it", true, true, "2026-12-08T11:00:01Z",
         Failure::askAgain},
        {"cut short an hour later counts", false, true, "2026-12-08T11:00:00Z", Failure::suspect},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Browse::judgeFailure(c.failedBefore, c.cutShort, at(c.taken), now), c.verdict) << c.what;

    using std::chrono::seconds;
    EXPECT_EQ(Browse::passBudget(7 * 144, 7), seconds(15 * 60)) << "the whole window of seven channels";
    EXPECT_EQ(Browse::passBudget(7 * 72, 7), seconds(450)) << "half of it";
    EXPECT_EQ(Browse::passBudget(7 * 3, 7), seconds(120)) << "an hourly update gets the shortest";
    EXPECT_EQ(Browse::passBudget(5000, 1), seconds(15 * 60)) << "never more than a whole fill";
    EXPECT_EQ(Browse::passBudget(0, 0), seconds(120));
}

TEST(BrowseRules, ProductsAndChannels) {
    EXPECT_EQ(Browse::channelOf("94"), 94);
    EXPECT_EQ(Browse::channelOf("1700"), 1700);
    EXPECT_EQ(Browse::channelOf("0171"), std::nullopt);
    EXPECT_EQ(Browse::channelOf("rainbow"), std::nullopt);
    EXPECT_EQ(Browse::channelOf("999"), std::nullopt);
    EXPECT_EQ(Browse::channelCode(94), "0094");
    EXPECT_EQ(Browse::channelOf("intensitygram"), Browse::hmiIntensitygram);
    EXPECT_EQ(Browse::channelOf("magnetogram"), Browse::hmiMagnetogram);
    EXPECT_EQ(Browse::channelCode(Browse::hmiMagnetogram), "HMIB");
    EXPECT_EQ(Browse::parseName("20261208_100000_1024_HMIB.jpg")->channel, Browse::hmiMagnetogram);
    EXPECT_EQ(Browse::stem(at("2026-12-08T12:05:09Z")), "20261208T120509");
}
