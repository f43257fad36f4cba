#pragma once
// The arithmetic of a 48-hour clip: one frame slot per 20 minutes of solar time, played at 18 frames per
// second. Maps playback positions to slots, slots to the dates they show, and back. Pure functions only.

#include <QDateTime>
#include <QString>
#include <optional>

namespace SolarTime {
inline constexpr double fps = 18.0;       // clip frames per second of playback time at normal rate
inline constexpr double cadence = 1200.0; // seconds of solar time between two slots

// Slots in a clip of this duration (named slotCount: "slots" is a Qt keyword); nothing for a duration that is
// not finite or negative, fps <= 0 or fewer than one slot.
std::optional<int> slotCount(double durationSeconds, double framesPerSecond = fps);

// The slot shown at playback time t, limited to 0 ... slots - 1 (0 for t not finite or no slots).
int slot(double atSeconds, int slotCount, double framesPerSecond = fps);

// The moment a slot shows: the last slot shows the end time. Nothing for a slot outside the clip.
std::optional<QDateTime> frameTime(const QDateTime& end, int slot, int slotCount,
                                   double cadenceSeconds = cadence);

// The moment a slot shows for a clip with `frameCount` real observations: a clip of one image (a first
// light, the bundled clip) shows that image, the newest, in every slot; else as frameTime.
std::optional<QDateTime> shownTime(const QDateTime& end, int slot, int slotCount,
                                   std::optional<int> frameCount, double cadenceSeconds = cadence);

// Playback time in the middle of the slot's frame, or nothing for a slot outside the clip.
std::optional<double> seekSeconds(int slot, int slotCount, double framesPerSecond = fps);

// The slot that shows the given moment, or nothing when it lies outside the clip.
std::optional<int> sameInstant(const QDateTime& date, const QDateTime& end, int slotCount,
                               double cadenceSeconds = cadence);

// Whether a clip's frame count fits its slots (an unknown count is trusted).
bool trusted(std::optional<int> frameCount, int slotCount);

// Where a slot sits along the clip, 0 ... 1.
double progress(int slot, int slotCount);

// The frame clock text, e.g. "DEC 7  20:40 UTC": English month, day, two spaces, 24-hour time, in UTC.
QString clock(const QDateTime& date);

// Rounds halves away from zero, as every rounding of this module does.
double roundHalfAway(double value);
} // namespace SolarTime
