#pragma once
// The link to a product's page on our web site, shown as the link and QR card of a wall.

#include "CacheEntry.h"

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <optional>

namespace Store {
// "https://" + host + "/" with the query items utm_source=solvane, then d (yyyy-MM-dd) and t (HH:mm)
// of the frame in UTC when one is given, then wl=id when the id is a whole number (a wavelength).
// `storeHost` is the normalised storeHost setting. Nothing when these do not form a URL.
std::optional<QUrl> link(const QString& id, const std::optional<QDateTime>& frame, const QString& storeHost);

// The link for a cached clip: its frame is the clip's end, its `updated` time, when that parses.
std::optional<QUrl> link(const CacheEntry& cached, const QString& storeHost);
} // namespace Store
