#pragma once
// The desktop picture manager: sets every screen's desktop picture to the next cached still of its
// rotation (the rule is Desktop::plan), remembers the pictures that were there before the first update
// and puts them back when asked. The pictures shown are copies in the desktop folder, named per still, so
// a new still is a new file and an unchanged one is not copied again. With the sunOnLockScreen setting
// on, the lock screen follows the first screen's still the same way, and goes back with the pictures.
//
// GUI thread only (it reads the screen list and talks to the desktop). State lives in the settings
// (desktopCounter, previousDesktop) and the desktop folder.

#include "Desktop.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

class DesktopPicture;
class LockScreenPicture;

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
// Puts the recorded pictures (and the lock screen's) back and forgets them; whatever the desktop adapter
// keeps on screen of its own goes. A screen that had no picture before ours (a bare X root) is cleared to
// black, so the Sun does not stay behind.
void restore();

// Brings the lock screen in line with the sunOnLockScreen setting (Preferences calls it when the box
// changes): on while the desktop picture is active, it takes what the first screen shows now; otherwise
// the recorded picture goes back.
void syncLockScreen();
// With the setting on: records the lock screen's picture once, then shows `file` (the still of product
// `id`) there. With it off: puts the recorded picture back.
void followLockScreen(const QString& file, const QString& id);
// Puts the recorded lock-screen picture back and forgets it; nothing when none is recorded.
void putBackLockScreen();

// What the last apply() of this run did: when it set a picture on some screen, or why it set none.
struct Applied {
    std::optional<QDateTime> at;
    QString failure; // empty when it set one, or had nothing to set yet
};
Applied lastApplied();

// The adapter the manager talks to; by default the one for this session (Platform::desktopPicture),
// made on first use. Tests hand a fake.
void usePicture(std::shared_ptr<DesktopPicture> picture);
// The same for the lock screen (Platform::lockScreenPicture).
void useLockScreen(std::shared_ptr<LockScreenPicture> lockScreen);

} // namespace Desktop
