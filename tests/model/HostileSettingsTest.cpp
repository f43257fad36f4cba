// Settings files a hostile or unlucky user leaves behind: nesting that would overflow the parser's
// stack, binary object graphs that loop or explode, huge arrays, values our types cannot hold, and
// one damaged file after another.

#include "PropertyList.h"
#include "SettingsStore.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray xmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
const QByteArray xmlTail = "</dict>\n</plist>\n";

QByteArray deepXml(int levels) {
    return xmlHead + "<key>deep</key>" + QByteArray("<array>").repeated(levels) +
           QByteArray("</array>").repeated(levels) + xmlTail;
}

QByteArray bigEndian(quint64 value, int size) {
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xFF);
    return bytes;
}

// A binary property list of the given objects (references inside are 4 bytes), object 0 at the top.
QByteArray binaryPlist(const QList<QByteArray>& objects) {
    QByteArray bytes = "bplist00";
    QByteArray table;
    for (const QByteArray& object : objects) {
        table += bigEndian(quint64(bytes.size()), 4);
        bytes += object;
    }
    const quint64 tableAt = quint64(bytes.size());
    bytes += table;
    bytes += QByteArray(6, '\0') + char(4) + char(4) + bigEndian(quint64(objects.size()), 8) +
             bigEndian(0, 8) + bigEndian(tableAt, 8);
    return bytes;
}

QByteArray arrayObject(const QList<quint64>& references) {
    QByteArray object(1, char(0xAF));
    object += char(0x12) + bigEndian(quint64(references.size()), 4);
    for (quint64 reference : references)
        object += bigEndian(reference, 4);
    return object;
}

QByteArray asciiObject(const QByteArray& text) {
    return char(0x5F) + QByteArray(1, char(0x10)) + char(text.size()) + text;
}

// { "deep": [[[...]]] } nested `levels` arrays deep.
QByteArray deepBinary(int levels) {
    QList<QByteArray> objects{QByteArray("\xD1\0\0\0\1\0\0\0\2", 9), asciiObject("deep")};
    for (int level = 0; level < levels; ++level)
        objects << arrayObject(level + 1 < levels ? QList<quint64>{quint64(level + 3)} : QList<quint64>{});
    return binaryPlist(objects);
}

// { "list": [ "s0", ..., "s<count-1>" ] }, or { "list": [ ...the list itself ] } when `loop`.
QByteArray binaryList(int count, bool loop = false) {
    QList<quint64> references;
    for (int i = 0; i < count; ++i)
        references << (loop ? 2 : quint64(i + 3));
    QList<QByteArray> objects{QByteArray("\xD1\0\0\0\1\0\0\0\2", 9), asciiObject("list"),
                              arrayObject(references)};
    for (int i = 0; i < count && !loop; ++i)
        objects << asciiObject("s" + QByteArray::number(i));
    return binaryPlist(objects);
}

// Shared children: 30 levels of arrays each holding the next twice, 2^30 values once expanded.
QByteArray binaryExplosion() {
    QList<QByteArray> objects{QByteArray("\xD1\0\0\0\1\0\0\0\2", 9), asciiObject("boom")};
    for (int level = 0; level < 30; ++level)
        objects << arrayObject(level + 1 < 30 ? QList<quint64>{quint64(level + 3), quint64(level + 3)}
                                              : QList<quint64>{});
    return binaryPlist(objects);
}

class HostileSettingsTest : public ::testing::Test {
protected:
    QString path() const { return folder.path() + QStringLiteral("/example.tessly.solvane.plist"); }
    QTemporaryDir folder;
};

} // namespace

TEST_F(HostileSettingsTest, FilesThatWouldOverwhelmTheParserAreRefusedAndKeptIntact) {
    const std::vector<std::tuple<const char*, QByteArray, const char*>> cases{
        {"XML nested 200,000 levels", deepXml(200000), "nested more than 512 levels deep"},
        {"binary nested 100,000 levels", deepBinary(100000), "nested more than 512 levels deep"},
        {"binary array that holds itself", binaryList(3, true), "an object contains itself"},
        {"binary graph of 2^30 shared values", binaryExplosion(), "holds more than 1048576 values"},
        {"binary trailer pointing outside", QByteArray("bplist00") + QByteArray(40, '\xFF'),
         "not a well-formed binary property list"},
        // libplist aborts the program on a NUL inside a text when it is read or written.
        {"XML text holding a NUL",
         xmlHead + "<key>s</key><string>a" + QByteArray(1, '\0') + "b</string>" + xmlTail,
         "a text holds a NUL character"},
        {"binary UTF-16 key holding a NUL",
         binaryPlist({QByteArray("\xD1\0\0\0\1\0\0\0\2", 9), QByteArray("\x62\0a\0\0", 5), asciiObject("v")}),
         "a text holds a NUL character"},
    };
    for (const auto& [name, bytes, reason] : cases) {
        SCOPED_TRACE(name);
        QFile::remove(path());
        QFile::remove(path() + ".corrupt");
        writeFile(path(), bytes);
        SettingsStore store(path());
        CapturedLog captured;
        EXPECT_FALSE(store.has("deep"));
        const QByteArray text = captured.finish();
        EXPECT_EQ(text, "solvane: settings: " + QFile::encodeName(path()) +
                            " is not a usable settings file (" + reason + "); using the defaults\n");
        store.set("offline", true);
        EXPECT_EQ(readFile(path() + ".corrupt"), bytes);
        EXPECT_TRUE(SettingsStore(path()).boolean("offline"));
    }
    // Just inside the limits, the same shapes read.
    EXPECT_TRUE(PropertyList::parseDictionary(deepXml(500)));
    EXPECT_TRUE(PropertyList::parseDictionary(deepBinary(500)));
}

TEST_F(HostileSettingsTest, AHundredThousandElementBinaryArrayReadsWhole) {
    // Indexed access made this quadratic (about a minute); walked once it takes a moment.
    writeFile(path(), binaryList(100000));
    const auto list = SettingsStore(path()).stringList("list");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 100000);
    EXPECT_EQ(list->front(), "s0");
    EXPECT_EQ(list->back(), "s99999");
}

TEST_F(HostileSettingsTest, EveryDamagedFileIsKept) {
    for (int round = 0; round < 3; ++round) {
        writeFile(path(), "damaged " + QByteArray::number(round));
        SettingsStore(path()).set("round", round);
    }
    EXPECT_EQ(readFile(path() + ".corrupt"), "damaged 0");
    EXPECT_EQ(readFile(path() + ".corrupt.1"), "damaged 1");
    EXPECT_EQ(readFile(path() + ".corrupt.2"), "damaged 2");
    EXPECT_EQ(SettingsStore(path()).integer("round"), 2);
}

TEST_F(HostileSettingsTest, ValuesOurTypesCannotHoldAreWrittenBackAsRead) {
    const QByteArray deep =
        QByteArray("<array>").repeated(70) + "<string>bottom</string>" + QByteArray("</array>").repeated(70);
    const QByteArray original = xmlHead + "<key>birth</key><date>0001-01-01T00:00:00Z</date>\n" +
                                "<key>future</key><date>9999-12-31T23:59:59Z</date>\n" +
                                "<key>huge</key><integer>18446744073709551615</integer>\n" +
                                "<key>deep</key>" + deep + "\n<key>mode</key><string>kiosk</string>\n" +
                                xmlTail;
    writeFile(path(), original);
    SettingsStore store(path());
    {
        CapturedLog captured;
        EXPECT_EQ(store.string("mode"), "kiosk");
        EXPECT_EQ(store.date("birth"), std::nullopt) << "not read as some other date";
        EXPECT_EQ(store.integer("huge"), 0) << "not read as -1";
        EXPECT_TRUE(store.has("deep"));
        const QByteArray text = captured.finish();
        EXPECT_TRUE(text.contains("holds values kept as read (birth, future, huge, deep)"))
            << text.constData();
    }
    store.set("offline", true);
    EXPECT_EQ(readFile(path() + ".corrupt"), original);
    // Python's reader, which holds all of these, finds them unchanged in the rewritten file.
    QProcess python;
    python.start(
        "/usr/bin/python3",
        {"-c",
         "import plistlib,sys\n"
         "d=plistlib.load(open(sys.argv[1],'rb'))\n"
         "x=d['deep']\n"
         "for _ in range(69): x=x[0]\n"
         "print(d['birth'].isoformat(), d['future'].isoformat(), d['huge'], x, d['mode'], d['offline'])",
         path()});
    ASSERT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(python.readAllStandardOutput(),
              "0001-01-01T00:00:00 9999-12-31T23:59:59 18446744073709551615 ['bottom'] kiosk True\n")
        << python.readAllStandardError().constData();
    // Saving again keeps the values and sets nothing else aside.
    SettingsStore again(path());
    again.set("loops", 2);
    EXPECT_FALSE(QFile::exists(path() + ".corrupt.1"));
    EXPECT_TRUE(readFile(path()).contains("<integer>18446744073709551615</integer>"));
}
