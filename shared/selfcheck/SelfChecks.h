#pragma once
// The program's own executable statement of its decisions: 51 named checks over the pure rules of the
// playlist chooser, the download set, the refresh cadence, the origin fall-back, forward-only updates,
// index verdicts, the kiosk's quiet hour and the carry-over keys, run by `solvane --selftest`.

#include "SelfCheck.h"
#include "SettingsKey.h"

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace SelfChecks {

// The rules the checks call. By default the real ones; a test swaps one for a broken rule to see that
// exactly its first check fails.
struct Rules {
    std::function<std::optional<int>(const QStringList&, int, const QSet<QString>&,
                                     const std::optional<QString>&)>
        nextIndex;
    std::function<int(int, int)> rewound;
    std::function<std::optional<QSet<QString>>(const QStringList&)> inUse;
    std::function<QStringList(const QString&)> choice;
    std::function<double(std::optional<double>)> refreshInterval;
    std::function<bool(const QDateTime&, std::chrono::seconds, const QDateTime&)> isDue;
    std::chrono::seconds manualSpacing{0};
    std::function<bool(bool, const std::optional<QDateTime>&, const QDateTime&)> shouldUseOrigin;
    std::function<bool(const QString&, const std::optional<QString>&)> isNewer;
    std::function<std::optional<QStringList>(const std::optional<QByteArray>&)> indexVerdicts;
    std::function<QDateTime(const QDateTime&, const QTimeZone&)> quietHourNext;
    std::function<std::vector<Settings::Key>()> carryOverKeys;
    std::function<QString(const QString&)> defaultOldCache;

    static Rules real();
};

// The least number of checks a run accepts.
inline constexpr int floor = 51;

// The eight lists, each built from the given rules.
std::vector<SelfCheck> playlist(const Rules& rules);
std::vector<SelfCheck> downloadSet(const Rules& rules);
std::vector<SelfCheck> cadence(const Rules& rules);
std::vector<SelfCheck> originFallback(const Rules& rules);
std::vector<SelfCheck> forwardOnly(const Rules& rules);
std::vector<SelfCheck> contract(const Rules& rules);
std::vector<SelfCheck> kioskHour(const Rules& rules);
std::vector<SelfCheck> carryOver(const Rules& rules);

// All eight lists in order over the given rules.
std::vector<SelfCheck> all(const Rules& rules);
// All checks over the real rules, built once on first use.
const std::vector<SelfCheck>& all();

// The shared fixtures.
QDateTime t0();                              // 1,000,000 s after the epoch
QTimeZone denver();                          // America/Denver
QDateTime at(int day, int hour, int minute); // 2026-10-day hour:minute in Denver
QByteArray goodIndex();
QByteArray badIndex();

// One run: too few checks, the first failing check, then the contract fixture at `contractPath` (when it
// exists) and the final line. Gives the exit status; writes only to `out` and `err`.
int run(const std::vector<SelfCheck>& checks, const Rules& rules, const QString& contractPath, FILE* out,
        FILE* err);

} // namespace SelfChecks

// The --selftest action: runs every check over the real rules against
// "infra/contract/contract-v1/index.json" in the working directory, and ends the process with its status.
[[noreturn]] void runSelfTest();
