#pragma once
// The desktop picture manager: sets every screen's desktop picture to the next cached still of its
// rotation (the rule is Desktop::plan), remembers the pictures that were there before the first update
// and puts them back when asked. The pictures shown are copies in the desktop folder, named per still, so
// a new still is a new file and an unchanged one is not copied again.
//
// GUI thread only (it reads the screen list and talks to the desktop). State lives in the settings
// (desktopCounter, previousDesktop) and the desktop folder.

#include "Desktop.h"

#include <memory>

class DesktopPicture;

namespace Desktop {

// $XDG_DATA_HOME/Solvane/desktop, created when missing (a failure is logged; the path is returned anyway).
QString dir();

// Whether an update moves every screen one step along its rotation, or shows the newest still of the
// product each screen shows now (a light pass brought newer images of it).
enum class Step { next, stay };

// Sets the pictures now when the desktop picture is active (desktop mode, or the desktop setting on).
void apply(Step step = Step::next);
// Records the current pictures, once: nothing happens while a record exists.
void remember();
// Puts the recorded pictures back and forgets them.
void restore();

// The adapter the manager talks to; by default the one for this session (Platform::desktopPicture),
// made on first use. Tests hand a fake.
void usePicture(std::shared_ptr<DesktopPicture> picture);

} // namespace Desktop
