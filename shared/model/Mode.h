#pragma once
// How the app shows the Sun. Stored in the `mode` setting as its raw value; the texts the Preferences
// window shows for each mode live here as data so every part of the program words them alike.

#include <QString>
#include <array>
#include <optional>

enum class Mode { wall, saver, kiosk, desktop };

namespace Modes {
// Declaration order: wall, saver, kiosk, desktop.
inline constexpr std::array<Mode, 4> allCases{Mode::wall, Mode::saver, Mode::kiosk, Mode::desktop};

QString rawValue(Mode mode);
// The mode with that raw value (compared exactly), or nothing.
std::optional<Mode> fromRawValue(const QString& raw);

// The Preferences selector shows the modes in its own order: Desktop, Screen Saver, Wall, Kiosk.
int segment(Mode mode);
QString segmentTitle(Mode mode);
// The mode at a selector position (0...3), or nothing for any other position.
std::optional<Mode> atSegment(int position);

// The help line under the selector, the Start button's title and the Arm button's tool tip.
QString helpLine(Mode mode);
QString startTitle(Mode mode);
QString armToolTip(Mode mode);

// The note beside the settings the kiosk preset turned on; empty outside Kiosk.
QString presetNote(Mode mode);
} // namespace Modes
