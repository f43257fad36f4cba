#pragma once
// Sizes of every on-screen text and mark, in points at a 1080-point-high screen, and how they grow on
// taller screens.

#include <optional>

// Whether a view fills a screen, is a small preview (which never scales its text up), or the mini player
// in a corner (which shows only the frame clock, its text scaled down with the window).
enum class ViewKind { full, preview, mini };

namespace TypeScale {
inline constexpr double caption = 15;
inline constexpr double attribution = 12;
inline constexpr double captionHeight = 22;
inline constexpr double attributionHeight = 18;
inline constexpr double qrGap = 26;
inline constexpr double control = 64;
inline constexpr double controlInset = 28;
inline constexpr double hint = 16;
inline constexpr double clock = 13;
inline constexpr double clockHeight = 18;
inline constexpr double timeline = 2;
inline constexpr double playhead = 9;
inline constexpr double reference = 1080; // screen height at which the factor is 1
inline constexpr double maxFactor = 2.0;

// 1 for previews and heights that are not finite; for the mini player height / 216 kept within 0.75 ... 1
// (0.83 at its 180 points); else height / 1080 kept within 1 ... 2.
double factor(double height, ViewKind kind = ViewKind::full);
inline constexpr double miniReference = 216;
inline constexpr double miniFactor = 0.75;
// size x factor, rounded to the nearest half point (halves away from zero).
double points(double size, double factor);
} // namespace TypeScale
