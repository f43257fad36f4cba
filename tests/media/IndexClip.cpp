#include "IndexClip.h"

#include "TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

QByteArray runTool(const QString& program, const QStringList& arguments) {
    const ProcessResult result = runProgram(program, arguments);
    EXPECT_EQ(result.status, 0) << program.toStdString() << " failed: " << result.err.toStdString();
    return result.out;
}

QString makeIndexClip(const QString& folder, const QString& name, const IndexClipOptions& options) {
    const QString path = QDir(folder).filePath(name);
    const QString source = QStringLiteral("nullsrc=s=%1x%2:r=%3,format=gray,"
                                          "geq=lum='255*mod(floor(N/pow(2\\,floor(X*8/W)))\\,2)'")
                               .arg(options.size.width())
                               .arg(options.size.height())
                               .arg(options.fps);
    QStringList arguments{QStringLiteral("-v"),
                          QStringLiteral("error"),
                          QStringLiteral("-y"),
                          QStringLiteral("-f"),
                          QStringLiteral("lavfi"),
                          QStringLiteral("-i"),
                          source,
                          QStringLiteral("-frames:v"),
                          QString::number(options.frames),
                          QStringLiteral("-c:v"),
                          QStringLiteral("libx264"),
                          QStringLiteral("-pix_fmt"),
                          QStringLiteral("yuv420p"),
                          QStringLiteral("-g"),
                          QString::number(options.keyInterval),
                          QStringLiteral("-sc_threshold"),
                          QStringLiteral("0")};
    arguments += options.extraArguments;
    arguments << path;
    runTool(QStringLiteral("ffmpeg"), arguments);
    return path;
}

int frameIndex(const QImage& image) {
    if (image.isNull() || image.width() < 8) return -1;
    int index = 0;
    const int y = image.height() / 2;
    for (int bit = 0; bit < 8; ++bit) {
        const int x = (2 * bit + 1) * image.width() / 16;
        const int grey = qGray(image.pixel(x, y));
        if (grey > 64 && grey < 192) return -1;
        if (grey >= 192) index |= 1 << bit;
    }
    return index;
}
