// The light pass's rules on fixed values: when it starts, which folders it reads, whether it runs; how
// a listing's new end is joined to the copy held; what the chosen products cost.
#include "Follow.h"
#include "ImageryCost.h"
#include "ListingTail.h"

#include <gtest/gtest.h>

namespace {
QDateTime at(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC();
}
} // namespace

TEST(FollowRules, StartsSevenMinutesAfterEachSlotAndReadsTodayOnly) {
    const std::vector<std::pair<const char*, const char*>> starts{
        {"2026-12-08T12:00:00Z", "2026-12-08T12:07:00Z"}, {"2026-12-08T12:06:59Z", "2026-12-08T12:07:00Z"},
        {"2026-12-08T12:07:00Z", "2026-12-08T12:27:00Z"}, // strictly after
        {"2026-12-08T12:47:30Z", "2026-12-08T13:07:00Z"}, {"2026-12-08T23:59:00Z", "2026-12-09T00:07:00Z"},
    };
    for (const auto& [now, next] : starts)
        EXPECT_EQ(Follow::nextStart(at(now)), at(next)) << now;

    auto days = [](const char* now) {
        QStringList list;
        for (const QDate& day : Follow::folders(at(now)))
            list << day.toString(Qt::ISODate);
        return list;
    };
    EXPECT_EQ(days("2026-12-08T00:07:00Z"), (QStringList{"2026-12-07", "2026-12-08"}));
    EXPECT_EQ(days("2026-12-08T00:59:59Z"), (QStringList{"2026-12-07", "2026-12-08"}));
    EXPECT_EQ(days("2026-12-08T01:00:00Z"), (QStringList{"2026-12-08"}));

    struct Case {
        Follow::Conditions conditions;
        std::optional<QString> why;
    };
    Follow::Conditions shown;
    shown.sunShown = true;
    auto with = [&](auto change) {
        Follow::Conditions c = shown;
        change(c);
        return c;
    };
    const std::vector<Case> cases{
        {shown, std::nullopt},
        {with([](auto& c) { c.sunShown = false, c.desktopPicture = true; }), std::nullopt},
        {with([](auto& c) { c.sunShown = false; }), "the Sun is not shown"},
        {with([](auto& c) { c.followNasa = false; }), "following NASA is off"},
        {with([](auto& c) { c.offline = true; }), "offline"},
        {with([](auto& c) { c.mirror = true; }), "a mirror keeps its own cadence"},
        {with([](auto& c) { c.metered = true; }), "the network is metered"},
        {with([](auto& c) { c.metered = c.meteredAllowed = true; }), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Follow::whyNot(c.conditions), c.why) << c.why.value_or("runs").toStdString();
}

TEST(FollowRules, ANewEndJoinsTheHeldListingOnlyWhereItBeginsWithTheLineHeldThere) {
    auto row = [](const char* time) {
        return "<a href=\"20261208_" + QByteArray(time) + "_1024_0171.jpg\">x</a>  08-Dec-2026 10:04  150K\n";
    };
    const QByteArray head = "<html><body><pre>\n<a href=\"../\">Parent Directory</a>\n";
    const QByteArray foot = "</pre><hr></body></html>\n";
    const QByteArray held = head + row("090000") + row("095000") + row("100000") + row("101200") + foot;
    // From the first entry of the last half hour held: rows come a few minutes out of order.
    const auto from = ListingTail::anchor(held);
    ASSERT_EQ(from, qint64((head + row("090000")).size()));
    const QByteArray newer = head + row("090000") + row("095000") + row("100000") + row("100500") +
                             row("101200") + row("102400") + foot;
    EXPECT_EQ(ListingTail::splice(held, *from, newer.mid(*from)), newer);
    EXPECT_EQ(ListingTail::splice(held, *from, held.mid(*from)), held) << "nothing new";
    // A row come before the start, or an answer from another place: the whole listing is asked for.
    const QByteArray late =
        head + row("090000") + row("093000") + row("095000") + row("100000") + row("101200") + foot;
    EXPECT_FALSE(ListingTail::splice(held, *from, late.mid(*from)));
    EXPECT_FALSE(ListingTail::splice(held, *from, foot));
    EXPECT_FALSE(ListingTail::splice(held, qint64(held.size()), QByteArray("x")));
    EXPECT_FALSE(ListingTail::anchor("<html>no entries</html>"));
}

TEST(FollowRules, WhatTheChosenProductsCost) {
    using ImageryCost::estimate;
    const auto one = estimate({"171"});
    EXPECT_EQ(one.downloadPerDay, 172'000 * 72 + ImageryCost::listingBytesPerDay);
    EXPECT_EQ(one.disk, 172'000 * 144 + ImageryCost::clipBytes + ImageryCost::stillBytes);
    // A channel shared by two products is downloaded once; the temperature map is made elsewhere.
    const auto rainbow = estimate({"rainbow"});
    EXPECT_EQ(estimate({"rainbow", "171", "dem"}).downloadPerDay, rainbow.downloadPerDay);
    EXPECT_EQ(rainbow.downloadPerDay,
              (325 + 229 + 172 + 129 + 140 + 223 + 375) * 1000 * 72 + ImageryCost::listingBytesPerDay);
    EXPECT_EQ(estimate({"magnetogram"}).downloadPerDay, 233'000 * 72 + ImageryCost::listingBytesPerDay);
    EXPECT_EQ(estimate({"171"}, {"171"}).downloadPerDay, 4 * 172'000 * 72 + ImageryCost::listingBytesPerDay);
    EXPECT_EQ(estimate({"dem"}).downloadPerDay, 0);
    EXPECT_EQ(ImageryCost::sentence(one),
              "About 18 MB a day to download and 30 MB on disk for the chosen products.");
    EXPECT_EQ(ImageryCost::sentence(rainbow),
              "About 120 MB a day to download and 230 MB on disk for the chosen products.");
}
