#include "CacheSettings.h"

#include "Settings.h"
#include "SettingsStore.h"

#include <atomic>
#include <mutex>

namespace {
std::atomic<bool> metered{false};
struct Screens {
    std::mutex lock;
    int stillSize = 1024;
    QSet<QString> sharper;
};
Screens& screens() {
    static Screens held;
    return held;
}
} // namespace

std::optional<QString> CacheSettings::cacheHome() {
    auto path = Settings::d().string(Settings::Key::cacheHome);
    if (path && path->trimmed().isEmpty()) return std::nullopt;
    return path;
}

QString CacheSettings::imageryHost() {
    return Settings::imageryHost();
}

bool CacheSettings::offline() {
    return Settings::offline();
}

std::optional<QSet<QString>> CacheSettings::productsInUse() {
    return Settings::productsInUse();
}

QDateTime CacheSettings::lastCheck() {
    return Settings::lastCheck();
}

void CacheSettings::setLastCheck(const QDateTime& when) {
    Settings::setLastCheck(when);
}

QDateTime CacheSettings::lastManual() {
    return Settings::lastManual();
}

void CacheSettings::setLastManual(const QDateTime& when) {
    Settings::setLastManual(when);
}

double CacheSettings::refreshMinutes() {
    return Settings::refreshMinutes();
}

bool CacheSettings::networkMetered() {
    return metered.load();
}

void CacheSettings::setNetworkMetered(bool value) {
    metered.store(value);
}

bool CacheSettings::meteredHolds() {
    return metered.load() && !Settings::useMeteredNetwork();
}

int CacheSettings::stillSize() {
    std::lock_guard guard(screens().lock);
    return screens().stillSize;
}

QSet<QString> CacheSettings::sharperProducts() {
    std::lock_guard guard(screens().lock);
    return screens().sharper;
}

void CacheSettings::setScreens(int stillSize, const QSet<QString>& sharperProducts) {
    std::lock_guard guard(screens().lock);
    screens().stillSize = stillSize;
    screens().sharper = sharperProducts;
}
