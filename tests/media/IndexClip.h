#pragma once
// Clips made by the ffmpeg command-line encoder at test time. Each frame shows its own index in binary as
// eight black or white columns (bit 0 on the left), so a test can read back which frame it got.

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

struct IndexClipOptions {
    int frames = 144;
    int fps = 18;
    QSize size{64, 32};
    int keyInterval = 36;       // frames between key frames, exactly
    QStringList extraArguments; // output options, e.g. metadata
};

// Writes `name` into `folder` and gives its path; fails the current test when ffmpeg fails.
QString makeIndexClip(const QString& folder, const QString& name, const IndexClipOptions& options = {});

// The index a frame shows, or -1 when the columns cannot be read as clean black and white.
int frameIndex(const QImage& image);

// Runs a program and gives its standard output; fails the current test on a non-zero status.
QByteArray runTool(const QString& program, const QStringList& arguments);

// A test suite that shares one clip of the default options (144 frames), made once for the suite.
class IndexClipSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        clip = new QString(makeIndexClip(folder->path(), QStringLiteral("slots.mp4")));
    }
    static void TearDownTestSuite() {
        delete clip;
        delete folder;
        clip = nullptr;
        folder = nullptr;
    }
    static inline QTemporaryDir* folder = nullptr;
    static inline QString* clip = nullptr;
};
