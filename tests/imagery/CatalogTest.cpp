#include "Catalog.h"

#include <gtest/gtest.h>

TEST(Catalog, FourteenProductsInManifestOrderWithExactLabels) {
    const auto& all = Catalog::all();
    ASSERT_EQ(all.size(), 14u);
    const char* ids[] = {"rainbow", "171",  "193",  "211",          "304",           "335",         "94",
                         "131",     "1600", "1700", "composite_uv", "intensitygram", "magnetogram", "dem"};
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i].id, QLatin1String(ids[i]));
    EXPECT_EQ(all[1].label.toUtf8(), QByteArray("AIA 171 \xC3\x85"));
    EXPECT_EQ(all[8].label.toUtf8(), QByteArray("AIA 1600 \xC3\x85 (UV)"));
    EXPECT_EQ(all[0].label, QStringLiteral("Rainbow"));
    EXPECT_EQ(all[11].label, QStringLiteral("HMI Intensitygram"));
    EXPECT_EQ(all[12].label, QStringLiteral("HMI Magnetogram"));
    EXPECT_EQ(all[13].label, QStringLiteral("Temperature map (DEM)"));
}

TEST(Catalog, IdsAreComparedExactly) {
    EXPECT_TRUE(Catalog::contains(QStringLiteral("rainbow")));
    EXPECT_FALSE(Catalog::contains(QStringLiteral("Rainbow")));
    EXPECT_FALSE(Catalog::contains(QStringLiteral("171 ")));
    EXPECT_EQ(Catalog::label(QStringLiteral("dem")), QStringLiteral("Temperature map (DEM)"));
    EXPECT_FALSE(Catalog::label(QStringLiteral("DEM")).has_value());
}
