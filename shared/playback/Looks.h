#pragma once
// The image operations of the looks, on decoded frames, computed on the CPU. A frame is a QImage as the
// decoder gives it: 8-bit RGB values already in display tone (sRGB-encoded). 16-bit images
// (Format_RGBA64) take a slower exact path, which the look test uses.

#include "LookRules.h"

#include <QImage>
#include <QStringList>

namespace Looks {
inline constexpr double gain = 3.0; // the difference gain g

// Running-difference lag in slots from the runningLagSlots setting: 3 stays 3, anything else is 1.
int lagSlots(qint64 setting);
// The lag as playback seconds, and as minutes of solar time (1 slot = 20 minutes).
double lagSeconds(int slotCount);
int sunMinutes(int slotCount);

// Mid grey plus g times the colour difference a - b, clamped per channel, opaque, over the extent of a.
// A reference of another size is scaled to a's size first. A null a, or a null reference, gives a
// unchanged.
QImage difference(const QImage& a, const QImage& minus, double g = gain);

// The unsharp mask: image + 0.8 x (image - Gaussian blur of standard deviation 2.0), taken in linear
// light as the platform filter does in its linear working space, and clamped when encoded back. It is
// computed in 16-bit fixed point: within one 8-bit level of the exact result, and flat areas unchanged.
QImage detail(const QImage& image);
inline constexpr double detailRadius = 2.0;
inline constexpr double detailIntensity = 0.8;

// The sRGB tone curves (IEC 61966-2-1) on values in 0 ... 1.
double linearToSRGB(double linear);
double sRGBToLinear(double encoded);

// The look test: three lines, each starting "ok " or "FAIL ".
QStringList checkLines(double g = gain);
} // namespace Looks
