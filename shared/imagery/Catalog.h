#pragma once
// The products the program knows by name, compiled in. Their order is the manifest's order and the
// order the Preferences window offers.

#include <QString>
#include <optional>
#include <vector>

struct CatalogProduct {
    QString id;
    QString label;
};

namespace Catalog {
const std::vector<CatalogProduct>& all();
// The label of a known id (compared exactly), or nothing.
std::optional<QString> label(const QString& id);
bool contains(const QString& id);
// Whether a product comes only from an imagery mirror (its publisher's data), never from NASA SDO's
// folders directly: the temperature map.
bool needsMirror(const QString& id);
} // namespace Catalog
