#pragma once
// The one place that picks the Linux adapter behind each port. Callers never choose for themselves.

#include "IdleTime.h"
#include "LoginItem.h"
#include "ScreenLock.h"
#include "ScreenSaverHost.h"
#include "SleepInhibit.h"

#include <memory>

namespace Platform {
// The XDG autostart entry of the installed program.
std::shared_ptr<LoginItem> loginItem();
// The first idle-time source that answers now: GNOME's idle monitor, the freedesktop screen saver,
// the X server; else none. Logs which one is used.
std::shared_ptr<IdleTime> idleTime();
// The freedesktop screen saver's Inhibit, else the X server's screen-saver suspension.
std::shared_ptr<SleepInhibit> sleepInhibit();
// `loginctl lock-session`.
std::shared_ptr<ScreenLock> screenLock();
// XScreenSaver, the host the saver's hack runs in.
std::shared_ptr<ScreenSaverHost> screenSaverHost();
} // namespace Platform
