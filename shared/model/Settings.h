#pragma once
// Every persistent preference, read through typed accessors that apply one read rule per key. Nothing
// is cached: every caller reads at the moment it needs a value, so a change made anywhere (the
// Preferences window, another process, a hand edit) takes effect at the next read. Safe from any thread.
//
// The pure rules (plain inputs, no store) are declared first so the self checks and tests can call them
// on fixed values.

#include "Look.h"
#include "Mode.h"
#include "ScreenChoice.h"
#include "SettingsKey.h"
#include "Transition.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace Settings {

// The settings domain; its file is $XDG_CONFIG_HOME/<domain>.plist.
inline constexpr const char* domain = "example.tessly.solvane";

// Deployment values: the product's web host (link and QR card) and the default imagery mirror.
inline constexpr const char* defaultStoreHost = "solvane.example";
inline constexpr const char* defaultImageryHost = "imagery.solvane.example";

// What `products` reads when it holds no usable list: one product per screen, repeating.
QStringList defaultProducts();

// ---- Pure rules ----

// The `refreshMinutes` read rule: 720 (twice a day) survives, everything else, absence included, is
// 1440 (once a day).
double refreshInterval(std::optional<double> stored);

// The host normaliser: drops every "https://" and "http://", then trims slashes and spaces at both
// ends. A path inside the value stays.
QString hostName(const QString& value);

// The choice screen `screen` makes under a `products` list: entry `screen` modulo the count, and all
// when the list is empty.
ScreenChoice screenChoice(const QStringList& products, int screen);

// The ids of an entry's list; empty for all and off.
QStringList ids(const QString& entry);

// The form the Preferences grid and the self checks use: all is empty, off is {"off"}, a list its ids.
QStringList choice(const QString& entry);

// The products the cache must keep current for a `products` list; nothing means every product (an
// empty list, any screen showing all, or every screen off).
std::optional<QSet<QString>> inUse(const QStringList& products);

} // namespace Settings
