// The backing store on real files: write-through saves, changes from other writers, unusable files,
// the fallback layer, files other property-list readers write and read, and use from many threads.

#include "SettingsStore.h"
#include "PropertyList.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QDateTime utc(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toUTC();
}

// Runs a Python program with Debian's interpreter (its plistlib is the reference reader here).
QByteArray python(const QString& program, const QStringList& arguments = {}) {
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), program} + arguments);
    process.waitForFinished(30000);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    return process.readAllStandardOutput();
}

class SettingsStoreTest : public ::testing::Test {
protected:
    QString path(const QString& name = QStringLiteral("example.tessly.solvane.plist")) const {
        return folder.path() + QLatin1Char('/') + name;
    }
    QTemporaryDir folder;
};

} // namespace

TEST_F(SettingsStoreTest, AbsentKeysReadAsTheirTypesZero) {
    SettingsStore store(path());
    EXPECT_FALSE(store.has("mode"));
    EXPECT_FALSE(store.value("mode").isValid());
    EXPECT_EQ(store.string("mode"), std::nullopt);
    EXPECT_EQ(store.stringList("products"), std::nullopt);
    EXPECT_FALSE(store.boolean("offline"));
    EXPECT_EQ(store.integer("loops"), 0);
    EXPECT_EQ(store.real("idleMinutes"), 0.0);
    EXPECT_EQ(store.date("lastCheck"), std::nullopt);
    EXPECT_FALSE(QFile::exists(path())) << "reading must not create the file";
}

TEST_F(SettingsStoreTest, EveryWriteIsSavedAndReadBackByANewStore) {
    const QString nested = folder.path() + "/config/deeper/example.tessly.solvane.plist";
    {
        SettingsStore store(nested);
        store.set("mode", QStringLiteral("kiosk"));
        store.set("products", QStringList{"171", "off", ""});
        store.set("offline", true);
        store.set("loops", 4);
        store.set("idleMinutes", 2.5);
        store.set("lastCheck", utc("2026-12-07T20:09:27.750Z"));
        store.set(Settings::Key::desktopCounter, qint64(-7));
        EXPECT_TRUE(QFile::exists(nested));
        // Dates keep the whole seconds the file can hold, so memory and file agree.
        EXPECT_EQ(store.date("lastCheck"), utc("2026-12-07T20:09:27Z"));
    }
    SettingsStore again(nested);
    EXPECT_EQ(again.string("mode"), "kiosk");
    EXPECT_EQ(again.stringList("products"), QStringList({"171", "off", ""}));
    EXPECT_TRUE(again.boolean("offline"));
    EXPECT_EQ(again.integer("loops"), 4);
    EXPECT_EQ(again.value("loops").typeId(), QMetaType::LongLong);
    EXPECT_EQ(again.real("idleMinutes"), 2.5);
    EXPECT_EQ(again.date("lastCheck"), utc("2026-12-07T20:09:27Z"));
    EXPECT_EQ(again.integer(Settings::Key::desktopCounter), -7);
    again.remove("offline");
    EXPECT_FALSE(SettingsStore(nested).has("offline"));
    EXPECT_EQ(QFileInfo(nested).permissions() & (QFile::ReadOther | QFile::WriteOther), 0);
    EXPECT_TRUE(QDir(QFileInfo(nested).absolutePath()).entryList(QDir::Hidden | QDir::Files).size() == 1)
        << "no temporary files are left behind";
}

TEST_F(SettingsStoreTest, TypedReadsAcceptOnlyUsableValues) {
    SettingsStore store(path());
    store.set("text", 5);
    EXPECT_EQ(store.string("text"), std::nullopt);
    store.set("mixed", QVariantList{QStringLiteral("a"), 3});
    EXPECT_EQ(store.stringList("mixed"), std::nullopt);
    store.set("real", 4.9);
    EXPECT_EQ(store.integer("real"), 4);
    EXPECT_EQ(store.wholeNumber("real"), 4);
    store.set("int", 720);
    EXPECT_EQ(store.number("int"), 720.0);
    store.set("yes", QStringLiteral("YES"));
    EXPECT_TRUE(store.boolean("yes"));
    store.set("junk", QStringLiteral("maybe"));
    EXPECT_FALSE(store.boolean("junk"));
    EXPECT_EQ(store.number("junk"), std::nullopt);
    store.set("one", 1);
    EXPECT_TRUE(store.boolean("one"));
    store.set("huge", 1e300);
    EXPECT_EQ(store.integer("huge"), std::numeric_limits<qint64>::max());
    store.set("date", QStringLiteral("2026-01-01T00:00:00Z"));
    EXPECT_EQ(store.date("date"), std::nullopt);
}

TEST_F(SettingsStoreTest, AChangeByAnotherWriterIsSeenAtTheNextRead) {
    SettingsStore app(path());
    SettingsStore other(path()); // stands for another process on the same file
    EXPECT_FALSE(app.has("mode"));
    other.set("mode", QStringLiteral("wall"));
    EXPECT_EQ(app.string("mode"), "wall");
    // Both write different keys in turn; neither write loses the other's.
    app.set("offline", true);
    other.set("loops", 3);
    app.set("shuffle", true);
    SettingsStore fresh(path());
    EXPECT_EQ(fresh.string("mode"), "wall");
    EXPECT_TRUE(fresh.boolean("offline"));
    EXPECT_EQ(fresh.integer("loops"), 3);
    EXPECT_TRUE(fresh.boolean("shuffle"));

    // A hand edit that keeps the size is still noticed: the atomic save gives the file a new identity.
    writeFile(path() + ".new", readFile(path()).replace("wall", "desk"));
    ASSERT_EQ(::rename(QFile::encodeName(path() + ".new").constData(), QFile::encodeName(path()).constData()),
              0);
    EXPECT_EQ(app.string("mode"), "desk");
    QFile::remove(path());
    EXPECT_FALSE(app.has("mode")) << "a deleted file reads as defaults";
}

TEST_F(SettingsStoreTest, ReadsOfAnUnchangedFileDoNotReadIt) {
    SettingsStore store(path());
    store.set("mode", QStringLiteral("wall"));
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(store.string("mode"), "wall");
    EXPECT_EQ(store.fileReads(), 0u) << "the store knows its own writes";
    SettingsStore other(path());
    other.set("loops", 2);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(store.integer("loops"), 2);
    EXPECT_EQ(store.fileReads(), 1u) << "one read for the one outside change";
}

TEST_F(SettingsStoreTest, ABatchSavesOnceAtItsEnd) {
    SettingsStore store(path());
    {
        SettingsStore::Batch batch(store);
        store.set("mode", QStringLiteral("wall"));
        {
            SettingsStore::Batch inner(store);
            store.set("loops", 3);
        }
        EXPECT_EQ(store.integer("loops"), 3);
        EXPECT_FALSE(QFile::exists(path())) << "nothing is saved before the outer batch ends";
    }
    SettingsStore fresh(path());
    EXPECT_EQ(fresh.string("mode"), "wall");
    EXPECT_EQ(fresh.integer("loops"), 3);
    {
        SettingsStore::Batch unchanged(store);
        store.set("loops", 3);
    }
    EXPECT_EQ(fresh.fileReads(), 1u) << "a batch without changes saves nothing";
}

TEST_F(SettingsStoreTest, WritingTheValueAlreadyHeldDoesNotTouchTheFile) {
    SettingsStore store(path());
    store.set("mode", QStringLiteral("wall"));
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &before), 0);
    store.set("mode", QStringLiteral("wall"));
    store.remove("absent");
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // An integer and a real of the same number are different values.
    store.set("n", 720);
    store.set("n", 720.0);
    EXPECT_EQ(SettingsStore(path()).value("n").typeId(), QMetaType::Double);
}

TEST_F(SettingsStoreTest, UnusableFilesReadAsDefaultsLogOnceAndAreKeptAside) {
    QByteArray random(2048, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 7919 + 13) % 251);
    const QByteArray good = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                            "\t<key>mode</key>\n\t<string>kiosk</string>\n</dict>\n</plist>\n";
    const std::vector<std::pair<const char*, QByteArray>> cases{
        {"random bytes", random},
        {"truncated", good.left(good.size() / 2)},
        {"array root",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>mode</string></array></plist>"},
        {"string root", "<?xml version=\"1.0\"?><plist version=\"1.0\"><string>mode</string></plist>"},
        {"empty", QByteArray()},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        QFile::remove(path());
        QFile::remove(path() + ".corrupt");
        writeFile(path(), bytes);
        SettingsStore store(path());
        {
            CapturedLog captured;
            EXPECT_FALSE(store.has("mode"));
            EXPECT_EQ(store.string("mode"), std::nullopt);
            EXPECT_FALSE(store.boolean("offline"));
            const QByteArray text = captured.finish();
            EXPECT_EQ(text.count('\n'), 1) << text.constData();
            EXPECT_TRUE(text.startsWith("solvane: settings: " + QFile::encodeName(path()) +
                                        " is not a usable settings file ("))
                << text.constData();
            EXPECT_TRUE(text.endsWith("); using the defaults\n")) << text.constData();
        }
        EXPECT_FALSE(QFile::exists(path() + ".corrupt")) << "reading alone keeps the file where it is";
        {
            CapturedLog captured;
            store.set("offline", true);
            EXPECT_EQ(captured.finish(), "solvane: settings: kept the unreadable settings file as " +
                                             QFile::encodeName(path()) + ".corrupt\n");
        }
        EXPECT_EQ(readFile(path() + ".corrupt"), bytes);
        SettingsStore after(path());
        EXPECT_TRUE(after.boolean("offline"));
        EXPECT_FALSE(after.has("mode"));
    }
}

TEST_F(SettingsStoreTest, AnUnreadableFileIsKeptAsideToo) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    writeFile(path(),
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>loops</key><integer>4</integer>"
              "</dict></plist>");
    ASSERT_TRUE(QFile::setPermissions(path(), QFile::WriteOwner));
    SettingsStore store(path());
    CapturedLog captured;
    EXPECT_EQ(store.integer("loops"), 0);
    store.set("offline", true);
    const QByteArray text = captured.finish();
    EXPECT_EQ(text.count('\n'), 2) << text.constData();
    EXPECT_TRUE(text.contains("kept the unreadable settings file as")) << text.constData();
    QFile::setPermissions(path() + ".corrupt", QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_TRUE(readFile(path() + ".corrupt").contains("<integer>4</integer>"));
}

TEST_F(SettingsStoreTest, AFolderInThePlaceOfTheFileIsMovedAsideNotDeleted) {
    ASSERT_TRUE(QDir().mkpath(path()));
    writeFile(path() + "/keep.txt", "mine");
    SettingsStore store(path());
    CapturedLog captured;
    EXPECT_FALSE(store.has("mode"));
    store.set("mode", QStringLiteral("wall"));
    const QByteArray text = captured.finish();
    EXPECT_EQ(text.count('\n'), 2) << text.constData();
    EXPECT_EQ(readFile(path() + ".corrupt/keep.txt"), "mine");
    EXPECT_EQ(SettingsStore(path()).string("mode"), "wall");
}

TEST_F(SettingsStoreTest, AFailedSaveIsLoggedAndKeepsTheValueForThisRun) {
    // The settings "file" sits under a regular file, so its folder can never be made.
    writeFile(folder.path() + "/blocker", "x");
    SettingsStore store(folder.path() + "/blocker/example.tessly.solvane.plist");
    CapturedLog captured;
    store.set("mode", QStringLiteral("wall"));
    const QByteArray text = captured.finish();
    EXPECT_TRUE(text.startsWith("solvane: settings: could not save ")) << text.constData();
    EXPECT_EQ(store.string("mode"), "wall");
}

TEST_F(SettingsStoreTest, AFolderLockHeldForEverDelaysASaveButDoesNotStopIt) {
    const int held = ::open(QFile::encodeName(folder.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    SettingsStore store(path());
    store.set("mode", QStringLiteral("wall"));
    ::close(held);
    EXPECT_EQ(SettingsStore(path()).string("mode"), "wall");
}

TEST_F(SettingsStoreTest, ASymbolicLinkStaysALink) {
    const QString real = path("real.plist");
    SettingsStore(real).set("mode", QStringLiteral("wall"));
    ASSERT_TRUE(QFile::link(real, path()));
    SettingsStore store(path());
    EXPECT_EQ(store.string("mode"), "wall");
    store.set("offline", true);
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    EXPECT_TRUE(SettingsStore(real).boolean("offline"));
}

TEST_F(SettingsStoreTest, FallbackValuesServeOnlyKeysTheDomainLacks) {
    const QString appFile = path("app.plist");
    {
        SettingsStore app(appFile);
        app.set("mode", QStringLiteral("kiosk"));
        app.set("loops", 3);
    }
    SettingsStore saver(path("saver.plist"));
    saver.set("loops", 2);
    EXPECT_FALSE(saver.registerFallbackFile(path("missing.plist")));
    writeFile(path("broken.plist"), "not a plist");
    EXPECT_FALSE(saver.registerFallbackFile(path("broken.plist")));
    ASSERT_TRUE(saver.registerFallbackFile(appFile));
    EXPECT_EQ(saver.string("mode"), "kiosk");
    EXPECT_TRUE(saver.has("mode"));
    EXPECT_EQ(saver.integer("loops"), 2) << "the own domain wins";
    EXPECT_FALSE(saver.dictionary().contains("mode")) << "fallback values are never written";
    saver.set("offline", true);
    EXPECT_FALSE(SettingsStore(path("saver.plist")).has("mode"));
    saver.useFile(path("other.plist"));
    EXPECT_FALSE(saver.has("mode")) << "re-rooting forgets the fallback layer";
}

TEST_F(SettingsStoreTest, PythonReadsWhatWeWrite) {
    SettingsStore store(path());
    store.set("mode", QString::fromUtf8("kiosk \u00e9 <&> \"quoted\""));
    store.set("products", QStringList{"171", "off", ""});
    store.set("offline", true);
    store.set("shuffle", false);
    store.set("loops", -3);
    store.set("idleMinutes", 0.1);
    store.set("lastCheck", utc("2026-12-07T20:09:27Z"));
    store.set("bell", QString::fromUtf8("a\x07z"));
    store.set(QString::fromUtf8("key <&>\x01"), 1);
    const QByteArray json = python(QStringLiteral(R"(
import plistlib, json, sys
with open(sys.argv[1], 'rb') as f:
    d = plistlib.load(f)
out = {}
for k, v in d.items():
    out[k] = [type(v).__name__, v.isoformat() if hasattr(v, 'isoformat') else v]
print(json.dumps(out, sort_keys=True))
)"),
                                   {path()});
    const QJsonObject read = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(read.value("mode").toVariant().toList(),
              QVariantList({"str", QString::fromUtf8("kiosk \u00e9 <&> \"quoted\"")}));
    EXPECT_EQ(read.value("products").toVariant().toList(),
              QVariantList({"list", QVariantList({"171", "off", ""})}));
    EXPECT_EQ(read.value("offline").toVariant().toList(), QVariantList({"bool", true}));
    EXPECT_EQ(read.value("shuffle").toVariant().toList(), QVariantList({"bool", false}));
    EXPECT_EQ(read.value("loops").toVariant().toList(), QVariantList({"int", -3}));
    EXPECT_EQ(read.value("idleMinutes").toVariant().toList(), QVariantList({"float", 0.1}));
    EXPECT_EQ(read.value("lastCheck").toVariant().toList(),
              QVariantList({"datetime", "2026-12-07T20:09:27"}));
    // XML cannot carry the bell character; the value is kept readable rather than making the file invalid.
    EXPECT_EQ(read.value("bell").toVariant().toList(), QVariantList({"str", QString::fromUtf8("a\uFFFDz")}));
    EXPECT_EQ(read.value(QString::fromUtf8("key <&>\uFFFD")).toVariant().toList(), QVariantList({"int", 1}));
    EXPECT_TRUE(store.has(QString::fromUtf8("key <&>\uFFFD")));
    EXPECT_EQ(read.size(), 9);
}

TEST_F(SettingsStoreTest, WeReadWhatPythonWrites) {
    for (const char* format : {"FMT_XML", "FMT_BINARY"}) {
        SCOPED_TRACE(format);
        QFile::remove(path());
        python(QStringLiteral(R"(
import plistlib, datetime, sys
d = {'mode': 'wall', 'products': ['304', '171'], 'offline': True, 'frameClock': False,
     'loops': 5, 'big': 2**40, 'neg': -12, 'idleMinutes': 7.25, 'refreshMinutes': 720.0,
     'lastCheck': datetime.datetime(2026, 12, 7, 20, 9, 27), 'blob': b'\x00\x01',
     'nested': {'inner': [1, 'two', 3.5]}, 'empty': [], 'text': 'caf\u00e9'}
with open(sys.argv[1], 'wb') as f:
    plistlib.dump(d, f, fmt=getattr(plistlib, sys.argv[2]))
)"),
               {path(), QString::fromLatin1(format)});
        SettingsStore store(path());
        EXPECT_EQ(store.string("mode"), "wall");
        EXPECT_EQ(store.stringList("products"), QStringList({"304", "171"}));
        EXPECT_TRUE(store.boolean("offline"));
        EXPECT_TRUE(store.has("frameClock"));
        EXPECT_FALSE(store.boolean("frameClock"));
        EXPECT_EQ(store.integer("loops"), 5);
        EXPECT_EQ(store.integer("big"), qint64(1) << 40);
        EXPECT_EQ(store.integer("neg"), -12);
        EXPECT_EQ(store.real("idleMinutes"), 7.25);
        EXPECT_EQ(store.number("refreshMinutes"), 720.0);
        EXPECT_EQ(store.date("lastCheck"), utc("2026-12-07T20:09:27Z"));
        EXPECT_EQ(store.value("blob").toByteArray(), QByteArray("\x00\x01", 2));
        EXPECT_EQ(store.stringList("empty"), QStringList());
        EXPECT_EQ(store.string("text"), QString::fromUtf8("caf\u00e9"));
        // A write keeps every value we do not understand, and Python still reads the result.
        store.set("shuffle", true);
        const QByteArray check = python(QStringLiteral(R"(
import plistlib, sys
d = plistlib.load(open(sys.argv[1], 'rb'))
print(d['nested'] == {'inner': [1, 'two', 3.5]}, d['blob'] == b'\x00\x01', d['shuffle'], d['big'])
)"),
                                        {path()});
        EXPECT_EQ(check, "True True True 1099511627776\n");
    }
}

TEST_F(SettingsStoreTest, ManyThreadsReadWhileOneWrites) {
    SettingsStore store(path());
    store.set("mode", QStringLiteral("kiosk"));
    store.set("products", QStringList{"171", "304"});
    const QDateTime start = utc("2026-01-01T00:00:00Z");
    constexpr int writes = 100;
    std::atomic<bool> done{false};
    std::atomic<int> faults{0};
    std::atomic<long> reads{0};
    std::thread writer([&] {
        for (int i = 1; i <= writes; ++i)
            store.set("lastCheck", start.addSecs(i));
        done = true;
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r)
        readers.emplace_back([&] {
            QDateTime last = start;
            while (!done) {
                const std::optional<QDateTime> seen = store.date("lastCheck");
                if (seen) {
                    const qint64 step = start.secsTo(*seen);
                    // Each value is one the writer wrote, and time never runs backwards for a reader.
                    if (step < 1 || step > writes || *seen < last) ++faults;
                    last = *seen;
                }
                if (store.string("mode") != "kiosk" ||
                    store.stringList("products") != QStringList({"171", "304"}))
                    ++faults;
                store.has("offline");
                store.dictionary();
                ++reads;
            }
        });
    writer.join();
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(faults.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(SettingsStore(path()).date("lastCheck"), start.addSecs(writes));
}

TEST(PropertyListParsing, DamagedFilesNeverCrashAndNeverHalfParse) {
    QVariantMap values{{"mode", QStringLiteral("kiosk")},
                       {"products", QStringList{"171", "304"}},
                       {"loops", 3},
                       {"idleMinutes", 2.5},
                       {"offline", true},
                       {"lastCheck", QDateTime::fromString("2026-12-07T20:09:27Z", Qt::ISODate)},
                       {"nested", QVariantMap{{"inner", QVariantList{1, QStringLiteral("two")}}}}};
    const QByteArray xml = PropertyList::toXml(values);
    ASSERT_EQ(PropertyList::parseDictionary(xml), PropertyList::normalized(values).toMap());
    int parsed = 0;
    // Every cut short of the whole file, and a byte flipped at many places: each either fails or
    // gives a dictionary; none crashes.
    for (qsizetype cut = 0; cut < xml.size(); cut += 7) {
        QString error;
        if (PropertyList::parseDictionary(xml.left(cut), &error))
            ++parsed;
        else
            EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_LE(parsed, 1) << "a truncated file must not pass as settings";
    for (qsizetype at = 0; at < xml.size(); at += 5) {
        QByteArray damaged = xml;
        damaged[at] = char(damaged[at] ^ 0x5A);
        PropertyList::parseDictionary(damaged);
    }
}
