#include "../media/IndexClip.h"
#include "MirrorServers.h"
#include "SettingsStore.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A home of its own for the program: settings, cache with one cached product, and a working folder.
class ExportFrame : public ::testing::Test {
protected:
    void SetUp() override {
        cache = home.filePath(QStringLiteral("cache/Solvane"));
        ASSERT_TRUE(QDir().mkpath(cache));
        ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("config"))));
        IndexClipOptions options;
        options.size = QSize(128, 64);
        makeIndexClip(cache, QStringLiteral("171.mp4"), options);
        const QJsonArray manifest{
            QJsonObject{{QStringLiteral("id"), QStringLiteral("171")},
                        {QStringLiteral("label"), QStringLiteral("AIA 171")},
                        {QStringLiteral("video"), QStringLiteral("171.mp4")},
                        {QStringLiteral("updated"), QStringLiteral("2026-12-07T20:40:00Z")},
                        {QStringLiteral("frame_count"), 144}}};
        writeFile(QDir(cache).filePath(QStringLiteral("manifest.json")), QJsonDocument(manifest).toJson());
    }
    ProcessResult run(const QStringList& arguments) {
        return runSolvane(arguments, home.path(),
                          {QStringLiteral("HOME=") + home.path(),
                           QStringLiteral("XDG_CACHE_HOME=") + home.filePath(QStringLiteral("cache")),
                           QStringLiteral("XDG_CONFIG_HOME=") + home.filePath(QStringLiteral("config")),
                           QStringLiteral("XDG_DATA_HOME=") + home.filePath(QStringLiteral("data"))});
    }
    QTemporaryDir home;
    QString cache;
};

// Reads every chunk with nothing but the standard library, checking each CRC with zlib's.
const char* pythonReader = R"(
import json, struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n'
at, texts = 8, {}
while at < len(data):
    length, kind = struct.unpack('>I4s', data[at:at + 8])
    body = data[at + 8:at + 8 + length]
    crc, = struct.unpack('>I', data[at + 8 + length:at + 12 + length])
    assert crc == zlib.crc32(kind + body), kind
    if kind == b'iTXt':
        keyword, rest = body.split(b'\0', 1)
        language, translated, text = rest[2:].split(b'\0', 2)
        texts[keyword.decode()] = text.decode()
    at += 12 + length
record = json.loads(texts['Orvelle-Provenance'])
assert list(record) == sorted(record)
print(texts['Title'])
print(len(texts['Description'].split('\n')))
print(texts['Software'])
print(record['version'])
)";

// What readers outside our code find in an exported frame: pngcheck accepts it; the chunk reader above
// finds `title`, eight Description lines, Software "Solvane" and a versioned record with sorted keys;
// exiftool reads the Title. Gives exiftool's report for further checks.
QString expectReadableProvenance(const QString& png, const QString& title) {
    const QByteArray checked = runTool(QStringLiteral("pngcheck"), {png});
    EXPECT_TRUE(checked.startsWith("OK: ")) << checked.toStdString();

    const QStringList python =
        QString::fromUtf8(runTool(QStringLiteral("/usr/bin/python3"),
                                  {QStringLiteral("-c"), QString::fromUtf8(pythonReader), png}))
            .split(QLatin1Char('\n'));
    EXPECT_GE(python.size(), 4);
    if (python.size() >= 4) {
        EXPECT_EQ(python[0], title);
        EXPECT_EQ(python[1], QStringLiteral("8"));
        EXPECT_EQ(python[2], QStringLiteral("Solvane"));
        EXPECT_FALSE(python[3].isEmpty());
    }

    const QString exif = QString::fromUtf8(
        runTool(QStringLiteral("exiftool"),
                {QStringLiteral("-s"), QStringLiteral("-Title"), QStringLiteral("-Software"),
                 QStringLiteral("-Description"), QStringLiteral("-Orvelle-Provenance"), png}));
    EXPECT_TRUE(exif.contains(QStringLiteral("Title")) && exif.contains(QStringLiteral(": ") + title))
        << exif.toStdString();
    EXPECT_TRUE(exif.contains(QStringLiteral("Software"))) << exif.toStdString();
    return exif;
}

TEST_F(ExportFrame, WritesTheNewestFrameWithItsProvenance) {
    const ProcessResult result =
        run({QStringLiteral("--export-frame"), QStringLiteral("171"), QStringLiteral("out.png")});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QByteArray("wrote out.png\n"));
    const QString png = home.filePath(QStringLiteral("out.png"));

    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(128, 64));
    EXPECT_EQ(frameIndex(image), 143); // the middle of the last slot

    const QString exif = expectReadableProvenance(png, QStringLiteral("Solvane 171 2026-12-07 2040 UTC"));
    EXPECT_TRUE(exif.contains(QStringLiteral("Frame DEC 7  20:40 UTC"))) << exif.toStdString();

    // Run again: the file is replaced, not appended to.
    const QByteArray first = readFile(png);
    EXPECT_EQ(
        run({QStringLiteral("--export-frame"), QStringLiteral("171"), QStringLiteral("out.png")}).status, 0);
    EXPECT_EQ(readFile(png), first);
}

TEST_F(ExportFrame, MissingProductAndUnwritablePathsFail) {
    ProcessResult result =
        run({QStringLiteral("--export-frame"), QStringLiteral("304"), QStringLiteral("out.png")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QByteArray("no frame for 304\n"));
    EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral("out.png"))));

    result =
        run({QStringLiteral("--export-frame"), QStringLiteral("171"), QStringLiteral("no/such/out.png")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QByteArray("cannot write: No such file or directory\n"));

    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("taken")));
    result = run({QStringLiteral("--export-frame"), QStringLiteral("171"), QStringLiteral("taken")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QByteArray("cannot write: Is a directory\n"));
    EXPECT_EQ(QDir(home.path()).entryList({QStringLiteral(".taken*")}, QDir::Files | QDir::Hidden).size(), 0);

    result = run({QStringLiteral("--export-frame"), QStringLiteral("171")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, QByteArray("usage: Solvane --export-frame <product-id> <out.png>\n"));
}

// The whole way a user goes: --prime fills the cache from an HTTPS mirror, then --export-frame writes
// the newest frame of a fetched clip with its provenance.
TEST_F(ExportFrame, WritesThroughLinksKeepsModesAndReplacesOnlyRegularFiles) {
    const auto exportTo = [&](const QString& name) {
        return run({QStringLiteral("--export-frame"), QStringLiteral("171"), name});
    };
    // An owner-only file stays owner-only.
    const QString privateFile = home.filePath(QStringLiteral("private.png"));
    writeFile(privateFile, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(privateFile).constData(), 0600), 0);
    EXPECT_EQ(exportTo(QStringLiteral("private.png")).status, 0);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(privateFile).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_TRUE(readFile(privateFile).startsWith("\x89PNG"));

    // A symbolic link stays a link; the file it names gets the frame.
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("pictures")));
    ASSERT_TRUE(QFile::link(QStringLiteral("pictures/real.png"), home.filePath(QStringLiteral("link.png"))));
    auto result = exportTo(QStringLiteral("link.png"));
    EXPECT_EQ(result.out, QByteArray("wrote link.png\n"));
    EXPECT_TRUE(QFileInfo(home.filePath(QStringLiteral("link.png"))).isSymLink());
    EXPECT_TRUE(readFile(home.filePath(QStringLiteral("pictures/real.png"))).startsWith("\x89PNG"));

    // A FIFO, directly or behind a link, is not replaced by a regular file.
    const QString fifo = home.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("pipe"), home.filePath(QStringLiteral("to-pipe.png"))));
    for (const QString& name : {QStringLiteral("pipe"), QStringLiteral("to-pipe.png")}) {
        result = exportTo(name);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, QByteArray("cannot write: Not a regular file\n"));
    }
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(QDir(home.path()).entryList({QStringLiteral(".pipe*")}, QDir::Files | QDir::Hidden).size(), 0);
}

TEST(ExportFrameAfterPrime, WritesAFrameOfTheFetchedClip) {
    QTemporaryDir temp;
    const QString home = temp.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/.config")));
    const TestCertificate certificate = TestCertificate::make(temp.path());
    ASSERT_FALSE(certificate.certificate.isEmpty());
    const QString root = temp.filePath(QStringLiteral("mirror"));
    ASSERT_TRUE(makeMirror(root, {QStringLiteral("--updated"), QStringLiteral("2026-10-01T05:40:00Z")}));
    ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("nginx"))));
    NginxMirror mirror(root, certificate, temp.filePath(QStringLiteral("nginx")));
    ASSERT_TRUE(mirror.running());
    SettingsStore(home + QStringLiteral("/.config/example.tessly.solvane.plist"))
        .set(QStringLiteral("imageryHost"), mirror.host());
    // Nothing listens at the origin: every byte comes from the mirror.
    const QStringList environment{QStringLiteral("HOME=") + home,
                                  QStringLiteral("XDG_CACHE_HOME=") + home + QStringLiteral("/.cache"),
                                  QStringLiteral("XDG_CONFIG_HOME=") + home + QStringLiteral("/.config"),
                                  QStringLiteral("SSL_CERT_FILE=") + certificate.certificate,
                                  QStringLiteral("SOLVANE_ORIGIN_HOST=127.0.0.1:%1").arg(unusedPort())};

    const ProcessResult primed = runSolvane({QStringLiteral("--prime")}, home, environment);
    ASSERT_EQ(primed.status, 0) << primed.err.toStdString();
    const ProcessResult result =
        runSolvane({QStringLiteral("--export-frame"), QStringLiteral("171"), QStringLiteral("out.png")}, home,
                   environment);
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QByteArray("wrote out.png\n"));
    const QString png = home + QStringLiteral("/out.png");
    EXPECT_EQ(QImage(png).size(), QSize(64, 64));
    expectReadableProvenance(png, QStringLiteral("Solvane 171 2026-10-01 0540 UTC"));
}

} // namespace
