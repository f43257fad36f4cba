#pragma once
// Carries a user's settings and downloaded clips over from the earlier product, Corvane, once: at the
// first launch of the app (guarded by the migratedFromCorvane setting).

#include "SettingsKey.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

class SettingsStore;

namespace CarryOver {
// The earlier product's settings domain.
inline constexpr const char* oldDomain = "example.tessly.corvane";

// The settings carried over, in this order. Left out: desktopCounter, the developer flags (cacheHome,
// installUpdatesNow, checkUpdatesNow, updateFeed), migratedFromCorvane itself, and every key from
// captionUTC on, which the earlier product never had.
inline constexpr std::array<Settings::Key, 20> keys{
    Settings::Key::mode,          Settings::Key::products,
    Settings::Key::idleMinutes,   Settings::Key::lockOnDismiss,
    Settings::Key::offline,       Settings::Key::refreshMinutes,
    Settings::Key::lastCheck,     Settings::Key::lastManual,
    Settings::Key::storeHost,     Settings::Key::imageryHost,
    Settings::Key::attribution,   Settings::Key::shuffle,
    Settings::Key::loops,         Settings::Key::transition,
    Settings::Key::desktop,       Settings::Key::previousDesktop,
    Settings::Key::configured,    Settings::Key::offlineBeforeKiosk,
    Settings::Key::wallHintShown, Settings::Key::appearance,
};

// The earlier product's cache folder for a cache folder: "Corvane" in the same parent.
// "/c/Library/Caches/Solvane" gives "/c/Library/Caches/Corvane".
QString defaultOldCache(const QString& beside);

// What one run did.
struct Report {
    bool ran = false;       // false when the carry-over had already happened
    QStringList keysCopied; // raw values, in `keys` order
    int filesCopied = 0;
    int filesSkipped = 0; // the name was taken in the new cache, or the copy failed
    bool operator==(const Report&) const = default;
};

// Copies the old domain's values for `keys` that `settings` lacks, then the old cache folder's plain
// top-level files that the new one lacks, and marks the carry-over done (whatever it achieved, so it is
// tried once). Never changes the old domain or folder. Defaults: the app's store, `oldDomain`,
// Cache::dir(), and defaultOldCache(beside: cache).
Report run(SettingsStore* settings = nullptr, const QString& oldSuite = QLatin1String(oldDomain),
           const std::optional<QString>& cache = std::nullopt,
           const std::optional<QString>& oldCache = std::nullopt);
} // namespace CarryOver
