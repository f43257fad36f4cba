#include "QrImage.h"

#include <gtest/gtest.h>

TEST(QrCode, UsesErrorCorrectionM) {
    // 71 bytes need version 5 at level M (37 modules a side); level L would fit version 4 (33) and Q
    // version 6 (41).
    const QByteArray link = "https://solvane.example/?utm_source=solvane&d=2026-12-07&t=20:00&wl=171";
    ASSERT_EQ(link.size(), 71);
    const auto modules = QrCode::encode(link);
    ASSERT_TRUE(modules);
    EXPECT_EQ(modules->side, 37);
    EXPECT_FALSE(QrCode::encode(""));
}

TEST(QrCode, RendersSharpWholeModulesCentredOnWhite) {
    const QByteArray link = "https://solvane.example/?utm_source=solvane";
    const auto modules = QrCode::encode(link);
    ASSERT_TRUE(modules);
    const int side = 200;
    const QImage image = QrCode::render(link, side);
    ASSERT_EQ(image.size(), QSize(side, side));
    const int factor = side / modules->side;
    const int offset = (side - modules->side * factor) / 2;
    // Every pixel is pure black or white (no smoothing), and each module's pixels agree with it.
    for (int y = 0; y < modules->side; ++y)
        for (int x = 0; x < modules->side; ++x) {
            const bool dark = modules->dark[static_cast<size_t>(y * modules->side + x)];
            for (int dy : {0, factor - 1})
                for (int dx : {0, factor - 1}) {
                    const QRgb pixel = image.pixel(offset + x * factor + dx, offset + y * factor + dy);
                    ASSERT_EQ(pixel, dark ? 0xff000000u : 0xffffffffu) << x << "," << y;
                }
        }
    EXPECT_EQ(image.pixel(0, 0), 0xffffffffu);
}

TEST(QrImage, RendersOncePerTextAndSize) {
    QrImage qr;
    qr.image("https://a.example/", 100);
    qr.image("https://a.example/", 100);
    EXPECT_EQ(qr.renders(), 1);
    qr.image("https://a.example/", 120);
    EXPECT_EQ(qr.renders(), 2);
    qr.image("https://b.example/", 120);
    EXPECT_EQ(qr.renders(), 3);
}
