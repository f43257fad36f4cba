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
// Whether the network is metered, as the program last heard (false until told; a --refresh on its own
// never is). Safe from any thread.
bool networkMetered();
void setNetworkMetered(bool metered);
// A metered network holds back light passes and 48-hour fills unless the person allows downloads on it.
bool meteredHolds();
// What the screens need, as the program last told (1024 and nothing until told): the size of the
// stills of single channels (see LargeStills.h) and the products given 2048-pixel clips. Safe from any
// thread.
int stillSize();
QSet<QString> sharperProducts();
void setScreens(int stillSize, const QSet<QString>& sharperProducts);
} // namespace CacheSettings
