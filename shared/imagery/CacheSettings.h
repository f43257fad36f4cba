#pragma once
// The settings the cache reads and writes, in one place. Each call reads the store at that moment.

#include <QDateTime>
#include <QSet>
#include <QString>
#include <optional>

namespace CacheSettings {
std::optional<QString> cacheHome(); // a path, when one is stored
QString imageryHost();              // normalised host (and port)
bool offline();
// The products the screens want, or nothing meaning every product.
std::optional<QSet<QString>> productsInUse();
QDateTime lastCheck(); // the distant past when never
void setLastCheck(const QDateTime& when);
QDateTime lastManual();
void setLastManual(const QDateTime& when);
double refreshMinutes();
} // namespace CacheSettings
