#include "FrameGrabber.h"
#include "ClipAsset.h"
#include "ClipEncoder.h"
#include "ClipExport.h"
#include "Decoder.h"
#include "DirectClips.h"
#include "FrameConverter.h"
#include "IndexClip.h"
#include "SlotPicture.h"
#include "TestSupport.h"

#include <QColorSpace>
#include <QImageReader>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

class Grabbing : public IndexClipSuite {};

TEST_F(Grabbing, AssetReadsLengthSizeAndFrames) {
    QString error;
    const auto asset = ClipAsset::open(*clip, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    EXPECT_DOUBLE_EQ(asset->durationSeconds, 8.0);
    EXPECT_EQ(asset->size, QSize(64, 32));
    EXPECT_EQ(asset->displaySize(), QSize(64, 32));
    EXPECT_EQ(asset->rotationDegrees, 0);
    EXPECT_EQ(asset->frameCount, 144);
    EXPECT_DOUBLE_EQ(asset->frameRate, 18.0);
}

TEST_F(Grabbing, NoClipGivesAReason) {
    QString error;
    EXPECT_FALSE(ClipAsset::open(folder->filePath(QStringLiteral("missing.mp4")), &error));
    EXPECT_TRUE(error.contains(QLatin1String("missing.mp4"))) << error.toStdString();

    const QString text = folder->filePath(QStringLiteral("text.mp4"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a clip at all, just words\n");
    file.close();
    error.clear();
    EXPECT_FALSE(FrameGrabber::open(text, &error));
    EXPECT_FALSE(error.isEmpty());
}

// Every time inside a frame's span, start, middle and last tick before the next, gives that frame; past
// the end the last frame stays.
TEST_F(Grabbing, ExactGrabReturnsTheFrameCoveringTheTime) {
    auto grabber = FrameGrabber::open(*clip);
    ASSERT_TRUE(grabber);
    for (int k = 0; k < 144; ++k) {
        for (double at : {k / 18.0, (k + 0.5) / 18.0, (k + 1) / 18.0 - 1.0 / 600}) {
            QString error;
            const auto image = grabber->frame(at, FrameGrabber::Tolerance::exact, {}, &error);
            ASSERT_TRUE(image) << error.toStdString();
            ASSERT_EQ(frameIndex(*image), k) << "at " << at;
        }
    }
    for (double at : {8.0, 9.5}) {
        const auto image = grabber->frame(at, FrameGrabber::Tolerance::exact);
        ASSERT_TRUE(image);
        EXPECT_EQ(frameIndex(*image), 143) << "at " << at;
    }
    const auto before = grabber->frame(-1.0, FrameGrabber::Tolerance::exact);
    ASSERT_TRUE(before);
    EXPECT_EQ(frameIndex(*before), 0);
}

TEST_F(Grabbing, ExactGrabAfterLaterGrabsStillExact) {
    auto grabber = FrameGrabber::open(*clip);
    ASSERT_TRUE(grabber);
    // Backwards and across key frames, as a look fetching reference slots does.
    for (int k : {143, 0, 71, 70, 36, 35, 108, 1}) {
        const auto image = grabber->frame(k / 18.0, FrameGrabber::Tolerance::exact);
        ASSERT_TRUE(image);
        EXPECT_EQ(frameIndex(*image), k);
    }
}

TEST_F(Grabbing, FastGrabGivesTheKeyFrameAtOrBefore) {
    const auto image = FrameGrabber::frameOf(*clip, 50 / 18.0, FrameGrabber::Tolerance::nearestKeyFrame);
    ASSERT_TRUE(image);
    EXPECT_EQ(frameIndex(*image), 36);
    const auto last = FrameGrabber::frameOf(*clip, 8.0 - 0.1, FrameGrabber::Tolerance::nearestKeyFrame);
    ASSERT_TRUE(last);
    EXPECT_EQ(frameIndex(*last), 108);
}

TEST_F(Grabbing, PicturesAreSRGBAndFitTheLimit) {
    const auto full = FrameGrabber::frameOf(*clip, 0, FrameGrabber::Tolerance::exact);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->size(), QSize(64, 32));
    EXPECT_EQ(full->colorSpace(), QColorSpace(QColorSpace::SRgb));
    const auto small = FrameGrabber::frameOf(*clip, 3 / 18.0, FrameGrabber::Tolerance::exact, QSize(32, 32));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size(), QSize(32, 16));
    EXPECT_EQ(frameIndex(*small), 3);
}

// On the way to an exact frame the grabber leaves out frames nothing refers to. That must not change a
// pixel: every exact grab equals the same frame from decoding every frame in order. The clip has moving
// detail, one key frame and B-frames in a pyramid, so referenced and unreferenced B-frames both occur.
TEST(GrabbingSkips, ExactGrabEqualsDecodingEveryFrame) {
    QTemporaryDir folder;
    const QString clip = folder.filePath(QStringLiteral("motion.mp4"));
    runTool(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
             QStringLiteral("-i"), QStringLiteral("testsrc2=s=160x96:r=18"), QStringLiteral("-frames:v"),
             QStringLiteral("48"), QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-g"),
             QStringLiteral("1000"), QStringLiteral("-bf"), QStringLiteral("3"),
             QStringLiteral("-x264-params"), QStringLiteral("b-pyramid=normal"), QStringLiteral("-pix_fmt"),
             QStringLiteral("yuv420p"), clip});
    // Without unreferenced frames there would be nothing to leave out, and nothing tested.
    const ProcessResult trace = runProgram(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("trace"), QStringLiteral("-i"), clip, QStringLiteral("-c"),
         QStringLiteral("copy"), QStringLiteral("-bsf:v"), QStringLiteral("trace_headers"),
         QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    ASSERT_EQ(trace.status, 0);
    EXPECT_GE((trace.out + trace.err).count("non-IDR picture), nal_ref_idc: 0"), 8);

    QString error;
    const auto decoder = Decoder::open(clip, Decoder::Threads::single, &error);
    ASSERT_TRUE(decoder) << error.toStdString();
    FrameConverter converter;
    std::vector<QImage> every;
    while (decoder->step(&error) == Decoder::Step::frame)
        every.push_back(converter.convert(decoder->frame(), 0, {}));
    ASSERT_EQ(every.size(), 48u) << error.toStdString();

    auto grabber = FrameGrabber::open(clip);
    ASSERT_TRUE(grabber);
    // The newest frame first, as an export takes it, then backwards so each grab seeks afresh.
    for (int k = 47; k >= 0; --k) {
        const auto image = grabber->frame((k + 0.5) / 18.0, FrameGrabber::Tolerance::exact, {}, &error);
        ASSERT_TRUE(image) << error.toStdString();
        EXPECT_TRUE(*image == every[size_t(k)]) << "frame " << k;
    }
}

// A turned clip comes out the way ffmpeg itself shows it.
TEST(GrabbingTurned, DisplayRotationIsApplied) {
    QTemporaryDir folder;
    IndexClipOptions options;
    options.frames = 4;
    const QString plain = makeIndexClip(folder.path(), QStringLiteral("plain.mp4"), options);
    const QString clip = folder.filePath(QStringLiteral("turned.mp4"));
    // A quarter turn clockwise: ffmpeg 6.1 and later set it with -display_rotation (counter-clockwise) and
    // ignore the older rotate tag, which is all ffmpeg 5 knows.
    const auto words = [](const char* text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
    const QStringList into{QStringLiteral("-c"), QStringLiteral("copy"), QStringLiteral("-y"), clip};
    if (runProgram(QStringLiteral("ffmpeg"), words("-v error -display_rotation 270 -i") << plain << into)
            .status != 0)
        runTool(QStringLiteral("ffmpeg"), words("-v error -i")
                                              << plain << words("-metadata:s:v:0 rotate=90") << into);
    const QString reference = folder.filePath(QStringLiteral("frame2.png"));
    runTool(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                       clip, QStringLiteral("-vf"), QStringLiteral("select=eq(n\\,2)"),
                                       QStringLiteral("-frames:v"), QStringLiteral("1"), reference});
    const auto asset = ClipAsset::open(clip);
    ASSERT_TRUE(asset);
    EXPECT_TRUE(asset->rotationDegrees == 90 || asset->rotationDegrees == 270);
    EXPECT_EQ(asset->displaySize(), QSize(32, 64));

    const auto image = FrameGrabber::frameOf(clip, 2 / 18.0, FrameGrabber::Tolerance::exact);
    ASSERT_TRUE(image);
    const QImage expected(reference);
    ASSERT_EQ(image->size(), expected.size());
    int worst = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            worst = std::max(worst, std::abs(qGray(image->pixel(x, y)) - qGray(expected.pixel(x, y))));
    EXPECT_LT(worst, 40);
    const auto small = FrameGrabber::frameOf(clip, 0, FrameGrabber::Tolerance::exact, QSize(16, 16));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size(), QSize(8, 16));

    // An export keeps the turn.
    const QString exported = folder.filePath(QStringLiteral("exported.mp4"));
    QString error;
    ASSERT_TRUE(ClipExport::remux(clip, exported, {}, &error)) << error.toStdString();
    const auto copied = ClipAsset::open(exported);
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->rotationDegrees, asset->rotationDegrees);
}

} // namespace

// Clips made in pieces are joined without encoding again: one-frame pieces (a first light, a slot or two
// new since the last pass) follow on as well as long ones, and every frame of every piece plays.
TEST(JoinedPieces, EveryFrameOfEveryPieceFollowsOn) {
    QTemporaryDir dir;
    QStringList parts;
    int total = 0;
    // A whole piece of a day's clip (24 slots) has B-frames, whose times start away from zero.
    for (const int frames : {1, 1, 5, 24, 1, 24}) {
        const QString part = dir.filePath(QStringLiteral("piece-%1.mp4").arg(parts.size()));
        ClipEncoder encoder;
        QString error;
        ASSERT_TRUE(encoder.open(part, 64, 18, QString(), error)) << error.toStdString();
        for (int i = 0; i < frames; ++i) {
            QImage picture(64, 64, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv((total + i) * 40 % 360, 200, 200));
            ASSERT_TRUE(encoder.add(picture, error)) << error.toStdString();
        }
        ASSERT_TRUE(encoder.finish(error)) << error.toStdString();
        parts << part;
        total += frames;
    }
    QString error, writeFailure;
    const QString joined = dir.filePath(QStringLiteral("joined.mp4"));
    ASSERT_TRUE(ClipEncoder::join(parts, joined, QStringLiteral("credit"), error, writeFailure))
        << error.toStdString();
    const auto asset = ClipAsset::open(joined, &error);
    ASSERT_TRUE(asset) << error.toStdString();
    EXPECT_EQ(asset->frameCount, total);
    // The wall counts a clip's slots from its duration: it must say as many frames as there are.
    EXPECT_NEAR(asset->durationSeconds * 18, total, 0.5) << asset->durationSeconds;
}

namespace {

std::vector<QImage> decodeAll(const QString& clip) {
    QString error;
    std::vector<QImage> frames;
    const auto decoder = Decoder::open(clip, Decoder::Threads::single, &error);
    if (!decoder) return frames;
    FrameConverter converter;
    while (decoder->step(&error) == Decoder::Step::frame)
        frames.push_back(converter.convert(decoder->frame(), 0, {}).convertToFormat(QImage::Format_RGB32));
    return frames;
}

// The mean difference of two pictures' channels, 0-255.
double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum +=
                std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

QImage readJpeg(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

} // namespace

// A single channel's JPEGs go to the encoder in their own YCbCr, not through RGB. The clip must look as
// the RGB way makes it (a wrong range, matrix or plane is off by far more than the encoder's loss) for
// each way a JPEG comes; one of another size still makes its frames; the still keeps the pixels it had.
TEST(SingleChannelClip, FramesLookAsThroughRgbAndTheStillIsTheJpeg) {
    const int size = 96;
    const struct {
        const char* name;
        int pictureSize;
        bool grey;
        const char* ffmpegFormat; // re-encoded by ffmpeg in this subsampling, else as Qt writes it (4:2:0)
    } cases[] = {{"colour 4:2:0", size, false, nullptr},
                 {"grey", size, true, nullptr},
                 {"colour 4:4:4", size, false, "yuvj444p"},
                 {"another size", 80, false, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ClipMaking::Job job;
        job.size = size;
        QStringList files;
        for (int k = 0; k < 3; ++k) {
            // A bright disc in one colour table, as a channel's images are: smooth shading, fine texture
            // and the sharp limb, turning a little from picture to picture.
            QImage picture(c.pictureSize, c.pictureSize, QImage::Format_RGB32);
            const double centre = (c.pictureSize - 1) / 2.0, radius = c.pictureSize * 0.4;
            for (int y = 0; y < c.pictureSize; ++y)
                for (int x = 0; x < c.pictureSize; ++x) {
                    const double r = std::hypot(x - centre, y - centre) / radius;
                    const double texture = 0.5 + 0.5 * std::sin((x + 3 * k) * 0.7) * std::cos(y * 0.5);
                    const double level =
                        r < 1 ? 0.35 + 0.45 * r * r + 0.2 * texture : 0.6 * std::exp(-6 * (r - 1));
                    picture.setPixel(x, y,
                                     qRgb(int(255 * std::min(1.0, level * 1.3)), int(190 * level),
                                          int(60 * level * level)));
                }
            if (c.grey) picture = picture.convertToFormat(QImage::Format_Grayscale8);
            const QString file = dir.filePath(QStringLiteral("%1.jpg").arg(k));
            if (c.ffmpegFormat) {
                const QString png = dir.filePath(QStringLiteral("%1.png").arg(k));
                ASSERT_TRUE(picture.save(png));
                runTool(QStringLiteral("ffmpeg"),
                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), png,
                         QStringLiteral("-pix_fmt"), QString::fromLatin1(c.ffmpegFormat),
                         QStringLiteral("-q:v"), QStringLiteral("2"), file});
            } else {
                ASSERT_TRUE(picture.save(file, "JPEG", 90));
            }
            files << file;
        }
        // The middle picture held over two slots, as a slot without a new image has it.
        for (const QString& file : {files[0], files[1], files[1], files[2]})
            job.frames.push_back({file});
        job.clip = dir.filePath(QStringLiteral("direct.mp4"));
        job.still = dir.filePath(QStringLiteral("still.png"));
        const ClipMaking::Outcome made = DirectClips::make(job);
        ASSERT_TRUE(made.ok) << made.error.toStdString();

        const QString throughRgb = dir.filePath(QStringLiteral("rgb.mp4"));
        ClipEncoder encoder;
        QString error;
        ASSERT_TRUE(encoder.open(throughRgb, size, job.framesPerSecond, QString(), error))
            << error.toStdString();
        for (const QStringList& slot : job.frames)
            ASSERT_TRUE(encoder.add(readJpeg(slot.front()), error)) << error.toStdString();
        ASSERT_TRUE(encoder.finish(error)) << error.toStdString();

        const std::vector<QImage> direct = decodeAll(job.clip);
        const std::vector<QImage> reference = decodeAll(throughRgb);
        ASSERT_EQ(direct.size(), job.frames.size());
        ASSERT_EQ(reference.size(), job.frames.size());
        // As near to the JPEG as the RGB way (the encoder's own loss is most of either), and near it.
        for (size_t k = 0; k < direct.size(); ++k) {
            const QImage source =
                SlotPicture::compose(ClipMaking::Kind::single, {readJpeg(job.frames[k].front())}, size);
            EXPECT_LT(meanDifference(direct[k], source), meanDifference(reference[k], source) + 0.5)
                << "frame " << k;
            EXPECT_LT(meanDifference(direct[k], reference[k]), 3.5) << "frame " << k;
        }
        EXPECT_TRUE(QImage(job.still).convertToFormat(QImage::Format_RGB32) ==
                    SlotPicture::compose(ClipMaking::Kind::single, {readJpeg(files[2])}, size));
    }
}
