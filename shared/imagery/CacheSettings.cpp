#include "CacheSettings.h"

#include "Settings.h"
#include "SettingsStore.h"

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
