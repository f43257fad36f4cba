#include "SettingsKey.h"

#include <QHash>

namespace Settings {
namespace {
// Indexed by the key's position; kept beside the enumeration's order on purpose.
constexpr std::array<const char*, keyCount> names{
    "mode",
    "products",
    "idleMinutes",
    "lockOnDismiss",
    "offline",
    "refreshMinutes",
    "lastCheck",
    "lastManual",
    "storeHost",
    "imageryHost",
    "attribution",
    "shuffle",
    "loops",
    "transition",
    "desktop",
    "desktopCounter",
    "previousDesktop",
    "configured",
    "offlineBeforeKiosk",
    "wallHintShown",
    "cacheHome",
    "appearance",
    "installUpdatesNow",
    "checkUpdatesNow",
    "updateFeed",
    "captionUTC",
    "frameClock",
    "infoEvery",
    "look",
    "runningLagSlots",
    "liveDesktop",
    "pauseOnBattery",
    "liveStatusIcon",
    "migratedFromCorvane",
    "notifyFlares",
    "announcedFlares",
    "sunOnLockScreen",
    "previousLockScreen",
    "flareNoticeClass",
    "notifyStorms",
    "announcedStorms",
    "spaceWeatherBadge",
    "followNasa",
    "useMeteredNetwork",
    "sharperClips",
};

static_assert(int(Key::sharperClips) == keyCount - 1);
} // namespace

const std::array<Key, keyCount>& allKeys() {
    static const std::array<Key, keyCount> keys = [] {
        std::array<Key, keyCount> all{};
        for (int i = 0; i < keyCount; ++i)
            all[size_t(i)] = Key(i);
        return all;
    }();
    return keys;
}

QString rawValue(Key key) {
    // Built once: every settings read names its key, and copying a built string allocates nothing.
    static const std::array<QString, keyCount> built = [] {
        std::array<QString, keyCount> all;
        for (int i = 0; i < keyCount; ++i)
            all[size_t(i)] = QString::fromLatin1(names[size_t(i)]);
        return all;
    }();
    const int index = int(key);
    if (index < 0 || index >= keyCount) return QString();
    return built[size_t(index)];
}

std::optional<Key> keyFromRawValue(const QString& raw) {
    static const QHash<QString, Key> byName = [] {
        QHash<QString, Key> map;
        for (int i = 0; i < keyCount; ++i)
            map.insert(QString::fromLatin1(names[size_t(i)]), Key(i));
        return map;
    }();
    const auto found = byName.constFind(raw);
    if (found == byName.constEnd()) return std::nullopt;
    return *found;
}

} // namespace Settings
