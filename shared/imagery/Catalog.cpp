#include "Catalog.h"

const std::vector<CatalogProduct>& Catalog::all() {
    static const std::vector<CatalogProduct> products{
        {"rainbow", "Rainbow"},
        {"171", QString::fromUtf8("AIA 171 \u00C5")},
        {"193", QString::fromUtf8("AIA 193 \u00C5")},
        {"211", QString::fromUtf8("AIA 211 \u00C5")},
        {"304", QString::fromUtf8("AIA 304 \u00C5")},
        {"335", QString::fromUtf8("AIA 335 \u00C5")},
        {"94", QString::fromUtf8("AIA 94 \u00C5")},
        {"131", QString::fromUtf8("AIA 131 \u00C5")},
        {"1600", QString::fromUtf8("AIA 1600 \u00C5 (UV)")},
        {"1700", QString::fromUtf8("AIA 1700 \u00C5 (UV)")},
        {"composite_uv", "Composite (1700/1600/304)"},
        {"intensitygram", "HMI Intensitygram"},
        {"magnetogram", "HMI Magnetogram"},
        {"dem", "Temperature map (DEM)"},
    };
    return products;
}

std::optional<QString> Catalog::label(const QString& id) {
    for (const auto& product : all())
        if (product.id == id) return product.label;
    return std::nullopt;
}

bool Catalog::contains(const QString& id) {
    return label(id).has_value();
}

bool Catalog::needsMirror(const QString& id) {
    return id == QLatin1String("dem");
}
