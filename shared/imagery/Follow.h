#pragma once
// The rules of following NASA as it publishes, as pure functions: when a light pass starts, which day
// folders it reads, and whether it runs at all. NASA SDO publishes a new image per channel about every
// 10 minutes, 4 to 7 minutes after it was taken; a clip holds one image per 20-minute slot. So the
// light pass starts 7 minutes after each slot boundary (at :07, :27 and :47 UTC), when the newest image
// of the slot just ended is surely out, and the newest frame on screen stays within about 40 minutes of
// NASA's newest image.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <chrono>
#include <optional>
#include <vector>

namespace Follow {

// NASA's worst latency, from taking an image to listing it.
inline constexpr std::chrono::seconds latency{7 * 60};
// How long after midnight UTC yesterday's folder is still read: its last images appear up to the
// latency after midnight, and a pass or two may be missed.
inline constexpr std::chrono::seconds yesterdayFor{60 * 60};

// The first start strictly after `now`: a 20-minute slot boundary plus the latency.
QDateTime nextStart(const QDateTime& now);

// The day folders (UTC, oldest first) a light pass reads at `now`: today's, and yesterday's in the first
// hour after midnight.
std::vector<QDate> folders(const QDateTime& now);

// SOLVANE_FOLLOW_SECONDS, the light pass's period in tests and trials, when it holds a whole number of
// seconds above zero (the first pass then starts one period after the start).
std::optional<std::chrono::seconds> periodOverride();

// What decides whether a light pass runs now.
struct Conditions {
    bool followNasa = true;      // the setting
    bool offline = false;        // the setting
    bool mirror = false;         // an imagery mirror is set: it keeps its own cadence
    bool metered = false;        // the network says it is metered
    bool meteredAllowed = false; // the person allows downloads on a metered network
    bool sunShown = false;       // a wall, the saver, a kiosk, the live desktop or the mini player shows it
    bool desktopPicture = false; // Desktop mode (or the desktop picture) is on
};
// Why a light pass does not run, in words for the log ("following NASA is off", "offline", "a mirror
// keeps its own cadence", "the network is metered", "the Sun is not shown"); nothing when it runs.
std::optional<QString> whyNot(const Conditions& conditions);

} // namespace Follow
