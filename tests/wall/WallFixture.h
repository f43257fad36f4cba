#pragma once
// What the wall tests share: short real clips made with ffmpeg, a player clock that moves only when told,
// settings in a temporary file, and a WallView built on a manual clock.

#include "CacheEntry.h"
#include "PlayerClock.h"
#include "WallView.h"

#include <QDateTime>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// Presents frames only as far as the test has moved it.
class HeldPlayerClock final : public PlayerClock {
public:
    double now() const override { return now_.load(); }
    void waitUntil(double deadline, std::condition_variable& wake,
                   std::unique_lock<std::mutex>& lock) override;
    void advance(double seconds) { now_.store(now_.load() + seconds); }

private:
    std::atomic<double> now_{0.0};
};

class WallFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // An 8-second clip of 144 frames (one per slot), made once per test run.
    static QString clip();
    // Cache entries for ids, all on the same clip, ending at `updated`.
    std::vector<CacheEntry> entries(const QStringList& ids, std::optional<int> frameCount = 144) const;
    // A view over `cached` with the manual clock; products empty means all of them.
    std::unique_ptr<WallView> makeView(std::vector<CacheEntry> cached, QStringList products = {},
                                       bool reduceMotion = false, ViewKind kind = ViewKind::full);
    // Runs queued callbacks until `done` holds or fifteen seconds pass.
    bool waitFor(const std::function<bool()>& done);

    QTemporaryDir dir;
    // The flares and X-ray level views made by makeView read; none unless a test sets it.
    std::optional<SpaceWeather::Record> weather;
    // The last refresh pass the views made by makeView read; none unless a test sets it.
    std::optional<Cache::LastPass> lastPass;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<HeldPlayerClock> playerClock = std::make_shared<HeldPlayerClock>();
    // Yesterday at 20:00 UTC: recent enough that captions never need the year, whenever the tests run.
    QString updated = QDateTime::currentDateTimeUtc().date().addDays(-1).toString(Qt::ISODate) + "T20:00:00Z";
    // The caption's day for `updated`, as "DEC 7".
    QString updatedDay() const {
        return QLocale::c().toString(QDateTime::fromString(updated, Qt::ISODate).date(), "MMM d").toUpper();
    }
};
