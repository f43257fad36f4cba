#pragma once
// Flares on a clip's 48-hour timeline: which flares get a mark, where along the timeline each sits, and
// which one the playhead is in, with the words the caption band names it by. Pure functions on plain
// values; the wall draws what these give.

#include "SpaceWeather.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace FlareMarks {

// The classes that get a mark; A and B flares are too common and too faint to be worth one.
enum class Band { c, m, x };

struct Mark {
    double fraction = 0; // along the timeline, 0 (the clip's first frame) ... 1 (its last)
    Band band = Band::c;
    SpaceWeather::Flare flare;
};

// How long before its peak, and after it, a flare with no end (or no begin) counts as playing.
inline constexpr qint64 openSeconds = 30 * 60;

// The band of a class ("M1.2" is m); nothing for A, B or text that is no class.
std::optional<Band> band(const QString& flareClass);

// The marks of a clip whose last frame shows `end`, with `slotCount` frames `cadenceSeconds` apart: one
// for each C, M or X flare whose when() lies within half a frame of the clip's first and last frames,
// at its place on the timeline (limited to 0 ... 1), in time order. Nothing for a clip without an end
// time or frames.
std::vector<Mark> marks(const std::vector<SpaceWeather::Flare>& flares, const QDateTime& end, int slotCount,
                        double cadenceSeconds);

// The flare a frame showing `at` lies in: from its begin to its end, each widened by half a frame so a
// flare shorter than a frame still meets one; a flare without an end (still in progress) or without a
// begin counts `openSeconds` either side of its peak. Of several, the largest class, then the nearest
// peak. Nothing when `at` is in none.
std::optional<Mark> under(const std::vector<Mark>& marks, const QDateTime& at, double cadenceSeconds);

// "HH:mm UTC" in 24-hour time.
QString utcTime(const QDateTime& time);

// What the caption band says while a flare plays: "M1.2 flare, peak 14:07 UTC"; for a flare still in
// progress "M1.2 flare in progress, peak so far 14:07 UTC", or "..., began 13:50 UTC" before its peak
// is known. A time on another UTC day than `now` gives its day: "M1.2 flare, peak 7 Dec 02:26 UTC".
QString caption(const SpaceWeather::Flare& flare, const QDateTime& now);

} // namespace FlareMarks
