#include "SelfChecks.h"

#include "Cache.h"
#include "CarryOver.h"
#include "Playlist.h"
#include "QuietHour.h"
#include "Settings.h"

#include <algorithm>

namespace {

using std::nullopt;
using Set = QSet<QString>;
const QStringList threeIDs{"171", "193", "304"};

SelfCheck check(const char* name, std::function<bool()> pass) {
    return {QString::fromUtf8(name), std::move(pass)};
}

} // namespace

SelfChecks::Rules SelfChecks::Rules::real() {
    Rules rules;
    rules.nextIndex = Playlist::nextIndex;
    rules.rewound = Playlist::rewound;
    rules.inUse = Settings::inUse;
    rules.choice = Settings::choice;
    rules.refreshInterval = Settings::refreshInterval;
    rules.isDue = Cache::isDue;
    rules.manualSpacing = Cache::manualSpacing;
    rules.shouldUseOrigin = Cache::shouldUseOrigin;
    rules.isNewer = Cache::isNewer;
    rules.indexVerdicts = Cache::indexVerdicts;
    rules.quietHourNext = QuietHour::next;
    rules.carryOverKeys = [] {
        return std::vector<Settings::Key>(CarryOver::keys.begin(), CarryOver::keys.end());
    };
    rules.defaultOldCache = CarryOver::defaultOldCache;
    return rules;
}

QDateTime SelfChecks::t0() {
    return QDateTime::fromSecsSinceEpoch(1'000'000, QTimeZone::utc());
}

QTimeZone SelfChecks::denver() {
    return QTimeZone("America/Denver");
}

QDateTime SelfChecks::at(int day, int hour, int minute) {
    return QDateTime(QDate(2026, 10, day), QTime(hour, minute), denver());
}

QByteArray SelfChecks::goodIndex() {
    return R"({"generated":"2026-10-01T06:00:00Z","products":[{"id":"171","updated":"2026-10-01T05:40:00Z","video_v":"v/171/20261001T054000.mp4","video":"video/rhef_171_1k.mp4"}]})";
}

QByteArray SelfChecks::badIndex() {
    return R"({"products":[{"id":"304","video":"video/rhef_304_1k.mp4"},{"id":"193","updated":"2026-10-01T05:40:00Z"},{"video":"x.mp4"},7]})";
}

std::vector<SelfCheck> SelfChecks::playlist(const Rules& r) {
    const auto next = [r](QStringList ids, int from, Set elsewhere, std::optional<QString> last) {
        return r.nextIndex(ids, from, elsewhere, last);
    };
    return {
        check("nextIndex: nothing held, nothing played", [=] { return next(threeIDs, 0, {}, nullopt) == 0; }),
        check("nextIndex: skips the clip just played", [=] { return next(threeIDs, 0, {}, "171") == 1; }),
        check("nextIndex: skips a clip another screen holds",
              [=] { return next(threeIDs, 1, {"193"}, nullopt) == 2; }),
        check("nextIndex: both constraints leave one answer",
              [=] { return next(threeIDs, 0, {"193"}, "171") == 2; }),
        check("nextIndex: one clip on two screens is allowed",
              [=] { return next({"171"}, 0, {"171"}, nullopt) == 0; }),
        check("nextIndex: repeating beats matching a neighbour",
              [=] {
                  return next({"171", "193"}, 0, {"193"}, "171") == 0;
              }),
        check("nextIndex: empty list", [=] { return next({}, 0, {}, nullopt) == nullopt; }),
        check("rewound: played 0, back wraps to the end", [=] { return r.rewound(1, 3) == 2; }),
        check("rewound: played 1, back to 0", [=] { return r.rewound(2, 3) == 0; }),
        check("rewound: played 2, back to 1", [=] { return r.rewound(3, 3) == 1; }),
        check("rewound: one clip stays on it", [=] { return r.rewound(0, 1) == 0; }),
        check("rewound: empty playlist does not divide by zero", [=] { return r.rewound(0, 0) == 0; }),
    };
}

std::vector<SelfCheck> SelfChecks::downloadSet(const Rules& r) {
    const auto inUse = [r](QStringList entries, std::optional<Set> expected) {
        return r.inUse(entries) == expected;
    };
    return {
        check("inUse: one product per screen",
              [=] {
                  return inUse({"171", "304"}, Set{"171", "304"});
              }),
        check("inUse: a list and a single",
              [=] {
                  return inUse({"171,193", "304"}, Set{"171", "193", "304"});
              }),
        check("inUse: Off screens want nothing",
              [=] {
                  return inUse({"171", "off"}, Set{"171"});
              }),
        check("inUse: a screen cycling everything wants everything",
              [=] {
                  return inUse({"171", ""}, nullopt);
              }),
        check("inUse: the old all pseudo-product says the same",
              [=] {
                  return inUse({"171", "all"}, nullopt);
              }),
        check("inUse: unconfigured takes the lot", [=] { return inUse({}, nullopt); }),
        check("inUse: every screen off keeps the cache current",
              [=] {
                  return inUse({"off", "off"}, nullopt);
              }),
        check("choice: off survives", [=] { return r.choice("off") == QStringList{"off"}; }),
        check("choice: empty means every product", [=] { return r.choice("").isEmpty(); }),
        check("choice: a list keeps its order",
              [=] {
                  return r.choice("171,193") == QStringList({"171", "193"});
              }),
    };
}

std::vector<SelfCheck> SelfChecks::cadence(const Rules& r) {
    using std::chrono::seconds;
    const QDateTime start = t0();
    const QDateTime distantPast(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
    const seconds day{86400};
    return {
        check("refreshInterval: unset is once a day", [=] { return r.refreshInterval(nullopt) == 1440; }),
        check("refreshInterval: the old hourly default is once a day",
              [=] { return r.refreshInterval(60) == 1440; }),
        check("refreshInterval: twice a day", [=] { return r.refreshInterval(720) == 720; }),
        check("refreshInterval: junk is once a day", [=] { return r.refreshInterval(5) == 1440; }),
        check("isDue: never checked", [=] { return r.isDue(distantPast, day, start); }),
        check("isDue: half a day in, not yet", [=] { return !r.isDue(start, day, start.addSecs(43199)); }),
        check("isDue: a day on", [=] { return r.isDue(start, day, start.addSecs(86400)); }),
        check("isDue: button inside the hour",
              [=] { return !r.isDue(start, r.manualSpacing, start.addSecs(3599)); }),
        check("isDue: button after the hour",
              [=] { return r.isDue(start, r.manualSpacing, start.addSecs(3600)); }),
    };
}

std::vector<SelfCheck> SelfChecks::originFallback(const Rules& r) {
    const QDateTime now = t0();
    return {
        check("shouldUseOrigin: no answer", [=] { return r.shouldUseOrigin(false, nullopt, now); }),
        check("shouldUseOrigin: answered, undated", [=] { return !r.shouldUseOrigin(true, nullopt, now); }),
        check("shouldUseOrigin: one missed run is normal",
              [=] { return !r.shouldUseOrigin(true, now.addSecs(-21600), now); }),
        check("shouldUseOrigin: right at 18 h, stay",
              [=] { return !r.shouldUseOrigin(true, now.addSecs(-64800), now); }),
        check("shouldUseOrigin: past 18 h, go round",
              [=] { return r.shouldUseOrigin(true, now.addSecs(-64800 - 1), now); }),
    };
}

std::vector<SelfCheck> SelfChecks::forwardOnly(const Rules& r) {
    const QString earlier = "v/171/20260924T182303.mp4", later = "v/171/20260924T204216.mp4";
    const QString fixed = "video/rhef_171_1k.mp4";
    return {
        check("isNewer: a later versioned name", [=] { return r.isNewer(later, earlier); }),
        check("isNewer: the mirror is behind", [=] { return !r.isNewer(earlier, later); }),
        check("isNewer: already held", [=] { return !r.isNewer(earlier, earlier); }),
        check("isNewer: nothing held", [=] { return r.isNewer(earlier, nullopt); }),
        check("isNewer: held from a fixed key", [=] { return r.isNewer(earlier, fixed); }),
        check("isNewer: fixed key, the ETag decides", [=] { return r.isNewer(fixed, earlier); }),
    };
}

std::vector<SelfCheck> SelfChecks::contract(const Rules& r) {
    return {
        check(
            "indexVerdicts: versioned name first",
            [=] { return r.indexVerdicts(goodIndex()) == QStringList{"ok 171 v/171/20261001T054000.mp4"}; }),
        check("indexVerdicts: rejects with reasons",
              [=] {
                  return r.indexVerdicts(badIndex()) ==
                         QStringList({"reject 304 no updated", "reject 193 no video or video_v",
                                      "reject ? no id", "reject ? not an object"});
              }),
        check("indexVerdicts: no products array",
              [=] {
                  return r.indexVerdicts(QByteArray(R"({"generated":"2026-10-01T06:00:00Z"})")) == nullopt;
              }),
    };
}

std::vector<SelfCheck> SelfChecks::kioskHour(const Rules& r) {
    const auto next = [r](const QDateTime& after, const QDateTime& expected) {
        return r.quietHourNext(after, denver()) == expected;
    };
    return {
        check("QuietHour: afternoon, tomorrow 3 a.m.", [=] { return next(at(5, 14, 0), at(6, 3, 0)); }),
        check("QuietHour: small hours, today 3 a.m.", [=] { return next(at(5, 1, 30), at(5, 3, 0)); }),
        check("QuietHour: inside the window, now", [=] { return next(at(5, 3, 30), at(5, 3, 30)); }),
        check("QuietHour: window just shut", [=] { return next(at(5, 5, 0), at(6, 3, 0)); }),
    };
}

std::vector<SelfCheck> SelfChecks::carryOver(const Rules& r) {
    return {
        check("CarryOver: keys are unique and leave out the developer flags",
              [=] {
                  QStringList raw;
                  for (Settings::Key key : r.carryOverKeys())
                      raw << Settings::rawValue(key);
                  const QStringList excluded{"cacheHome",  "installUpdatesNow", "checkUpdatesNow",
                                             "updateFeed", "desktopCounter",    "migratedFromCorvane"};
                  const bool unique = QSet<QString>(raw.begin(), raw.end()).size() == raw.size();
                  return unique && std::none_of(excluded.begin(), excluded.end(),
                                                [&](const QString& key) { return raw.contains(key); });
              }),
        check("CarryOver: the old cache is Corvane beside Solvane",
              [=] {
                  return r.defaultOldCache("/c/Library/Caches/Solvane") ==
                         QStringLiteral("/c/Library/Caches/Corvane");
              }),
    };
}

std::vector<SelfCheck> SelfChecks::all(const Rules& rules) {
    std::vector<SelfCheck> checks;
    for (auto list :
         {playlist, downloadSet, cadence, originFallback, forwardOnly, contract, kioskHour, carryOver}) {
        auto part = list(rules);
        checks.insert(checks.end(), std::make_move_iterator(part.begin()),
                      std::make_move_iterator(part.end()));
    }
    return checks;
}

const std::vector<SelfCheck>& SelfChecks::all() {
    static const std::vector<SelfCheck> checks = all(Rules::real());
    return checks;
}
