#pragma once
// How one clip gives way to the next. Stored in the `transition` setting as its raw value.

#include <QString>
#include <array>
#include <optional>

enum class Transition { blink, crossfade, black, circle, wipe };

namespace Transitions {
// Declaration order, which is also the order of the Preferences pop-up.
inline constexpr std::array<Transition, 5> allCases{Transition::blink, Transition::crossfade,
                                                    Transition::black, Transition::circle, Transition::wipe};

QString rawValue(Transition transition);
// The transition with that raw value (compared exactly), or nothing.
std::optional<Transition> fromRawValue(const QString& raw);

QString label(Transition transition);
// Whether the wall keeps the outgoing picture in place while this transition runs.
bool keepsInstant(Transition transition);

// The transition actually run: moving reveals become a crossfade under reduced motion, and a blink has
// nothing to blink from on a view's first clip.
Transition effective(Transition transition, bool first, bool reduceMotion);
} // namespace Transitions
