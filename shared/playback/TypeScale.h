#pragma once
// Sizes of every on-screen text and mark, in points at a 1080-point-high screen, and how they grow on
// taller screens.

#include <optional>

// Whether a view is a small preview (which never scales its text up).
enum class ViewKind { full, preview };

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

// 1 for previews and heights that are not finite; else height / 1080 kept within 1 ... 2.
double factor(double height, ViewKind kind = ViewKind::full);
// size x factor, rounded to the nearest half point (halves away from zero).
double points(double size, double factor);
} // namespace TypeScale
