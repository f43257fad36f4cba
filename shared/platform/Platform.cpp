#include "Platform.h"

#include "DBusIdleTime.h"
#include "Log.h"
#include "ScreenSaverInhibit.h"
#include "X11IdleTime.h"
#include "X11SleepSuspend.h"
#include "XScreenSaverHost.h"
#include "XdgAutostartLoginItem.h"

namespace Platform {

std::shared_ptr<LoginItem> loginItem() {
    return std::make_shared<XdgAutostartLoginItem>();
}

std::shared_ptr<IdleTime> idleTime() {
    std::shared_ptr<IdleTime> chosen;
    for (DBusIdleTime source : {DBusIdleTime::mutter(), DBusIdleTime::screenSaver()}) {
        if (source.ask()) {
            chosen = std::make_shared<DBusIdleTime>(source);
            break;
        }
    }
    if (!chosen) chosen = X11IdleTime::open();
    if (!chosen) {
        log("idle time: no source answers; only input to our own windows counts", LogArea::app);
        return std::make_shared<NoIdleTime>();
    }
    log("idle time: from " + chosen->name(), LogArea::app);
    return chosen;
}

std::shared_ptr<SleepInhibit> sleepInhibit() {
    std::vector<std::unique_ptr<SleepInhibit>> sources;
    sources.push_back(std::make_unique<ScreenSaverInhibit>());
    sources.push_back(std::make_unique<X11SleepSuspend>());
    return std::make_shared<FirstSleepInhibit>(std::move(sources));
}

std::shared_ptr<ScreenLock> screenLock() {
    return std::make_shared<LoginctlLock>();
}

std::shared_ptr<ScreenSaverHost> screenSaverHost() {
    return std::make_shared<XScreenSaverHost>();
}

} // namespace Platform
