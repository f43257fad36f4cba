#pragma once
// The rotation rule of the desktop picture: which cached still each screen shows at an update, so that
// screens differ and every screen moves one product along at each update. Pure; the manager that sets
// the pictures lives with the app.

#include "CacheEntry.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace Desktop {

struct Pick {
    int screen = 0;   // index in the system's screen list
    QString id;       // product id
    QString still;    // the still's file name in the cache folder
    QString fileName; // the copy's name in the desktop folder: id-stamp.png

    bool operator==(const Pick&) const = default;
};

// The copy's name: id + "-" + the still's stamp (stillUpdated, else updated) with ":" made "-", + ".png".
// A new still gets a new name, so the desktop redraws; an unchanged one keeps it.
QString fileName(const CacheEntry& entry);

// What each screen shows, in screen order. `choices` are the per-screen entries of the products setting
// (screen s uses entry s modulo their count; none means every product); an "off" screen gets no pick.
// `counter` is the desktopCounter setting.
std::vector<Pick> plan(const std::vector<CacheEntry>& entries, const QStringList& choices, int screenCount,
                       qint64 counter);

} // namespace Desktop
