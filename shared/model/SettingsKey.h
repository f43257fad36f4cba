#pragma once
// The names of every setting in the store. The order is fixed: carry-over and the self checks walk it.

#include <QString>
#include <array>
#include <optional>

namespace Settings {

enum class Key {
    mode,
    products,
    idleMinutes,
    lockOnDismiss,
    offline,
    refreshMinutes,
    lastCheck,
    lastManual,
    storeHost,
    imageryHost,
    attribution,
    shuffle,
    loops,
    transition,
    desktop,
    desktopCounter,
    previousDesktop,
    configured,
    offlineBeforeKiosk,
    wallHintShown,
    cacheHome,
    appearance,
    installUpdatesNow,
    checkUpdatesNow,
    updateFeed,
    captionUTC,
    frameClock,
    infoEvery,
    look,
    runningLagSlots,
    liveDesktop,
    pauseOnBattery,
    liveStatusIcon,
    migratedFromCorvane,
    notifyFlares,
    announcedFlares,
    sunOnLockScreen,
    previousLockScreen,
    flareNoticeClass,
    notifyStorms,
    announcedStorms,
    spaceWeatherBadge,
    followNasa,
    useMeteredNetwork,
    sharperClips,
};

inline constexpr int keyCount = 45;

// Every key in declaration order.
const std::array<Key, keyCount>& allKeys();

// The key's name in the store, which is also its name in code ("mode", "lastCheck", ...).
QString rawValue(Key key);
// The key with that name (compared exactly), or nothing for any other string.
std::optional<Key> keyFromRawValue(const QString& raw);

} // namespace Settings
