// The composites made on this computer: the rainbow's wedges out to the frame's edges, from whole
// pictures or only the parts frames show; the ultraviolet composite on real solar imagery (the archive
// stand-in's pictures), with its corona and colour.
#include "SlotPicture.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A picture whose pixels say which channel and place they come from.
QImage tagged(int channel, int size) {
    QImage picture(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            picture.setPixel(x, y, qRgb(channel * 30, x, y));
    return picture;
}

} // namespace

TEST(SlotPicture, RainbowWedgesReachTheEdgesAndComposeFromTheirRegions) {
    const int size = 256;
    std::vector<QImage> whole;
    for (int channel = 0; channel < 7; ++channel)
        whole.push_back(tagged(channel, size));
    SlotPicture::Composer composer(ClipMaking::Kind::rainbow, 7, size);
    const QImage frame = composer.compose(whole);

    // Clockwise from the top, seven wedges; the corners lie far beyond the old reach of 1.3 radii.
    const struct {
        int x, y, channel;
    } points[] = {{128, 2, 0}, {255, 0, 0}, {255, 128, 1}, {128, 255, 3},
                  {0, 128, 5}, {0, 0, 6},   {140, 60, 0}};
    for (const auto& point : points)
        EXPECT_EQ(frame.pixel(point.x, point.y), qRgb(point.channel * 30, point.x, point.y))
            << point.x << "," << point.y;

    // Pictures decoded to their regions only make the same frame; each region is a wedge's bounds.
    std::vector<QImage> parts;
    for (int channel = 0; channel < 7; ++channel) {
        const QRect region = composer.region(channel);
        EXPECT_LT(region.width() * region.height(), size * size / 2) << channel;
        parts.push_back(whole[size_t(channel)].copy(region));
        parts.back().setOffset(region.topLeft());
    }
    EXPECT_EQ(composer.compose(parts), frame);

    // A channel missing leaves its wedge black; pictures of another size are scaled.
    parts[1] = QImage();
    EXPECT_EQ(composer.compose(parts).pixel(255, 128), qRgb(0, 0, 0));
    parts[0] = tagged(0, 100);
    EXPECT_NEAR(qGreen(composer.compose(parts).pixel(128, 2)), 50, 2);
}

TEST(SlotPicture, StretchFillsTheRangeFromTheSkyToTheBrightestOfTheDisc) {
    const int size = 256;
    const double radius = SlotPicture::discRadius(size);
    // Sky at 6, a disc from 20 to 100 (a dim channel); a flat picture; no picture.
    QImage dim(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double r = std::hypot(x - 127.5, y - 127.5) / radius;
            const int level = r < 1 ? int(20 + 80 * (1 - r)) : 6;
            dim.setPixel(x, y, qRgb(level, level, level));
        }
    QImage flat(size, size, QImage::Format_RGB32);
    flat.fill(qRgb(90, 90, 90));
    const struct {
        QImage picture;
        int level, atLeast, atMost;
    } cases[] = {
        {dim, 6, 0, 0}, {dim, 98, 245, 255}, {dim, 60, 135, 165}, {flat, 90, 90, 90}, {QImage(), 40, 40, 40}};
    for (const auto& c : cases) {
        const int stretched = SlotPicture::stretchOf(c.picture, size)[size_t(c.level)];
        EXPECT_GE(stretched, c.atLeast) << c.level;
        EXPECT_LE(stretched, c.atMost) << c.level;
    }
}

TEST(SlotPicture, UltravioletCompositeOfRealImageryKeepsTheCoronaAndGivesColour) {
    QTemporaryDir folder;
    // 1700, 1600 and 304 as the archive stand-in draws them from real AIA imagery: they share structure.
    const ProcessResult drawn =
        runProgram(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(SOLVANE_SOURCE_DIR "/tools/mirror/sun_pictures.py"), folder.path(),
                    QStringLiteral("1700"), QStringLiteral("1600"), QStringLiteral("304")});
    ASSERT_EQ(drawn.status, 0) << drawn.err.toStdString();
    std::vector<QImage> pictures;
    for (const char* channel : {"1700", "1600", "0304"})
        pictures.emplace_back(folder.filePath(QString::fromLatin1(channel) + QStringLiteral(".jpg")));
    for (const QImage& picture : pictures)
        ASSERT_EQ(picture.size(), QSize(1024, 1024));

    const QImage frame = SlotPicture::compose(ClipMaking::Kind::ultraviolet, pictures, 1024);
    const double radius = SlotPicture::discRadius(1024);
    int disc = 0, coloured = 0, corona = 0, coronaLit = 0;
    int brightest[3] = {};
    for (int y = 0; y < 1024; y += 3)
        for (int x = 0; x < 1024; x += 3) {
            const QRgb pixel = frame.pixel(x, y);
            const int channels[3] = {qRed(pixel), qGreen(pixel), qBlue(pixel)};
            for (int i = 0; i < 3; ++i)
                brightest[i] = std::max(brightest[i], channels[i]);
            const double r = std::hypot(x - 511.5, y - 511.5) / radius;
            if (r < 0.95) {
                ++disc;
                if (*std::max_element(channels, channels + 3) - *std::min_element(channels, channels + 3) >
                    40)
                    ++coloured;
            } else if (r > 1.03 && r < 1.12) {
                ++corona;
                // Only 304 shows light beyond the limb: blue.
                if (qBlue(pixel) > 20 && qBlue(pixel) > 2 * std::max(qRed(pixel), qGreen(pixel))) ++coronaLit;
            }
        }
    EXPECT_GT(coronaLit, corona * 8 / 10) << coronaLit << " of " << corona;
    EXPECT_GT(coloured, disc / 2) << "the disc is one colour: " << coloured << " of " << disc;
    for (int i = 0; i < 3; ++i)
        EXPECT_GE(brightest[i], 240) << "primary " << i << " is not stretched";
}
