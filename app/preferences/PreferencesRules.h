#pragma once
// The Preferences window's rules on plain values: the per-screen lists and their titles, the texts the
// window composes (cache status, arm note, the turn-off alert). No widgets and no store, so tests call
// them directly.

#include "CacheEntry.h"
#include "Mode.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace PreferencesRules {

// The title of a screen's pull-down for its working list (the form of Settings::choice): "All products
// (cycle)" for an empty list, "Off" for the single "off", the labels of one or two products, else the
// count followed by " products".
QString summaryTitle(const QStringList& list);

// A product's item in a screen's pull-down: its label, and "(needs an imagery mirror)" after it when the
// imagery comes from NASA SDO directly and the product only from a mirror.
QString productTitle(const QString& id, const QString& label, bool directSource);

// Ticking a product: an "off" list becomes empty first, a ticked id leaves the list, an unticked one is
// appended, so the order of ticking is the play order.
QStringList toggledProduct(QStringList list, const QString& id);

// The shuffle button: fewer than three products are reversed (two always swap), more are shuffled with
// `shuffle`, which reorders the list in place.
QStringList randomized(QStringList list, const std::function<void(QStringList&)>& shuffle);

// The `products` array to store for the screens' working lists: one entry per connected screen, and
// behind them the stored entries of screens that are not connected now, so a choice made for a screen
// that is unplugged for a while is not lost.
QStringList savedProducts(const QStringList& stored, const std::vector<QStringList>& screens);

// The cache-status line for the entries on disk, the `offline` setting, and the time from which the next
// requested check may run when a check was refused.
QString cacheStatusLine(const std::vector<CacheEntry>& entries, bool offline,
                        const std::optional<QDateTime>& refused);

// The note beside the Arm button for the mode and the idle time.
QString armNote(Mode mode, double idleMinutes);

// The body of the "Turn Off and Quit" confirmation, one sentence a line.
QString deactivateText(bool desktopComesBack, bool opensAtLogin, bool carriesSaver);

} // namespace PreferencesRules
