// The lock screen's part of the desktop picture manager: it follows the first screen's still while the
// sunOnLockScreen setting is on, and what it showed before is recorded in previousLockScreen, once, so
// that turning it off puts exactly that back.
#include "DesktopManager.h"

#include "LockScreenPicture.h"
#include "Log.h"
#include "Platform.h"
#include "Settings.h"

namespace {
std::shared_ptr<LockScreenPicture>& adapter() {
    static std::shared_ptr<LockScreenPicture> lockScreen;
    return lockScreen;
}

LockScreenPicture& lockScreen() {
    if (!adapter()) adapter() = Platform::lockScreenPicture();
    return *adapter();
}
} // namespace

void Desktop::useLockScreen(std::shared_ptr<LockScreenPicture> replacement) {
    adapter() = std::move(replacement);
}

void Desktop::followLockScreen(const QString& file, const QString& id) {
    if (!Settings::sunOnLockScreen()) {
        putBackLockScreen();
        return;
    }
    if (const QString why = lockScreen().unavailable(); !why.isEmpty()) {
        static bool said = false; // once a run: the desktop does not change under us
        if (!said) log("lock screen: left alone: " + why, LogArea::desktop);
        said = true;
        return;
    }
    if (!Settings::previousLockScreen()) {
        const std::optional<QStringList> now = lockScreen().current();
        if (!now) {
            log("lock screen: could not read what it shows, so it is left alone", LogArea::desktop);
            return;
        }
        Settings::setPreviousLockScreen(*now);
        log("lock screen: remembered its picture (" + lockScreen().name() + ")", LogArea::desktop);
    }
    if (const std::optional<QString> failure = lockScreen().show(file))
        log("lock screen: failed: " + *failure, LogArea::desktop);
    else
        log("lock screen: -> " + id, LogArea::desktop);
}

void Desktop::putBackLockScreen() {
    const std::optional<QStringList> previous = Settings::previousLockScreen();
    if (!previous) return;
    // Kept on failure, so a later turn can still put it back.
    if (const std::optional<QString> failure = lockScreen().putBack(*previous)) {
        log("lock screen: could not put back its picture: " + *failure, LogArea::desktop);
        return;
    }
    Settings::setPreviousLockScreen(std::nullopt);
    log("lock screen: restored", LogArea::desktop);
}
