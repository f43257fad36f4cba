// The screen-saver installer on real folders: build numbers, the launch-time refresh, the Preferences
// install, and a copy that fails half-way leaving the installed one whole.

#include "SaverInstaller.h"
#include "RecordingScreenSaverHost.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A bundle folder whose executable says which copy it is, with a CFBundleVersion unless `build` is absent.
void makeBundle(const QString& folder, const std::optional<QString>& build, const QByteArray& marker) {
    QDir().mkpath(folder + "/resources");
    writeFile(folder + "/solvane-saver", "#!/bin/sh\n# " + marker + "\n");
    QFile::setPermissions(folder + "/solvane-saver",
                          QFile::permissions(folder + "/solvane-saver") | QFile::ExeOwner);
    writeFile(folder + "/resources/seed.json", marker);
    QByteArray plist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                       "<key>CFBundleName</key><string>Solvane</string>";
    if (build) plist += "<key>CFBundleVersion</key><string>" + build->toUtf8() + "</string>";
    writeFile(folder + "/Info.plist", plist + "</dict></plist>\n");
}

struct Installer {
    QTemporaryDir root;
    std::shared_ptr<RecordingScreenSaverHost> host = std::make_shared<RecordingScreenSaverHost>();
    SaverInstaller::Places places() const {
        return {root.filePath("app/lib/solvane/Solvane.saver"),
                root.filePath("data/Solvane/Screen Savers/Solvane.saver"), host};
    }
    QByteArray installedMarker() const { return readFile(places().installed + "/resources/seed.json"); }
};

} // namespace

TEST(SaverInstaller, BuildNumbersAreASignAndDecimalDigitsOnly) {
    const struct {
        const char* text;
        std::optional<qint64> build;
    } cases[] = {
        {"13", 13},
        {"+7", 7},
        {"-3", -3},
        {"007", 7},
        {"9223372036854775807", std::numeric_limits<qint64>::max()},
        {"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"1.2", std::nullopt},
        {" 12", std::nullopt},
        {"12a", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SaverInstaller::parseBuild(c.text), c.build) << c.text;
}

TEST(SaverInstaller, LaunchReplacesOnlyAnOlderInstalledCopy) {
    const struct {
        const char* name;
        std::optional<QString> installed; // its CFBundleVersion; absent: no such key
        bool replaced;
        const char* line;
    } cases[] = {
        {"older", QString("12"), true, "solvane: screen saver updated from build 12 to 13\n"},
        {"no build", std::nullopt, true, "solvane: screen saver updated from build 0 to 13\n"},
        {"not a number", QString("thirteen"), true, "solvane: screen saver updated from build 0 to 13\n"},
        {"equal", QString("13"), false, ""},
        {"newer", QString("14"), false, ""},
    };
    for (const auto& c : cases) {
        Installer installer;
        makeBundle(*installer.places().carried, QString("13"), "carried");
        makeBundle(installer.places().installed, c.installed, "installed");
        CapturedLog log;
        SaverInstaller::refreshInstalledSaver(installer.places());
        EXPECT_EQ(QString::fromUtf8(log.finish()), c.line) << c.name;
        EXPECT_EQ(installer.installedMarker(), c.replaced ? "carried" : "installed") << c.name;
        EXPECT_EQ(installer.host->restarts, c.replaced ? 1 : 0) << c.name;
        EXPECT_EQ(QDir(installer.root.filePath("data/Solvane/Screen Savers"))
                      .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{"Solvane.saver"})
            << c.name << ": nothing staged is left behind";
    }

    // Nothing installed: the launch installs nothing.
    Installer installer;
    makeBundle(*installer.places().carried, QString("13"), "carried");
    SaverInstaller::refreshInstalledSaver(installer.places());
    EXPECT_FALSE(QFileInfo::exists(installer.root.filePath("data/Solvane")));
}

TEST(SaverInstaller, TheButtonInstallsRegistersAndSaysWhatToDoNext) {
    Installer installer;
    makeBundle(*installer.places().carried, QString("13"), "carried");
    // No "Screen Savers" folder yet: it is made, and the copy moved in.
    EXPECT_EQ(SaverInstaller::installSaver(installer.places()),
              "Installed. In XScreenSaver's settings, pick Solvane.");
    EXPECT_EQ(installer.installedMarker(), "carried");
    EXPECT_TRUE(QFileInfo(installer.places().installed + "/solvane-saver").isExecutable());
    EXPECT_EQ(installer.host->registered,
              QStringList{"Solvane " + installer.places().installed + "/solvane-saver"});
    EXPECT_EQ(installer.host->settingsOpened, 1);

    // Equal builds: the button still reinstalls. On GNOME and KDE the note points at the app's own mode.
    makeBundle(*installer.places().carried, QString("13"), "carried again");
    installer.host->desktopsSaver = false;
    EXPECT_EQ(SaverInstaller::installSaver(installer.places()),
              "Installed for XScreenSaver, which this desktop does not run: choose Screen Saver as Solvane's "
              "mode to "
              "use it as the screen saver.");
    EXPECT_EQ(installer.installedMarker(), "carried again");
    EXPECT_EQ(installer.host->settingsOpened, 1);

    // A portable build's saver reaches its libraries through a relative link, which the copy keeps
    // pointing at the build's folder.
    QDir().mkpath(installer.root.filePath("app/lib/qt6"));
    QFile::link("../..", *installer.places().carried + "/lib");
    ASSERT_TRUE(SaverInstaller::installSaver(installer.places()).startsWith("Installed"));
    EXPECT_EQ(QFileInfo(installer.places().installed + "/lib").symLinkTarget(),
              installer.root.filePath("app/lib"));
    EXPECT_TRUE(QFileInfo::exists(installer.places().installed + "/lib/qt6"));
    QFile::remove(*installer.places().carried + "/lib");

    installer.host->registerFailure = "could not write ~/.xscreensaver: No space left on device";
    EXPECT_EQ(SaverInstaller::installSaver(installer.places()),
              "Could not install: could not write ~/.xscreensaver: No space left on device");

    // Without a carried copy there is nothing to do and nothing to show.
    SaverInstaller::Places none = installer.places();
    none.carried.reset();
    EXPECT_EQ(SaverInstaller::installSaver(none), QString());
}

TEST(SaverInstaller, ACopyThatFailsHalfWayLeavesTheInstalledCopyWhole) {
    Installer installer;
    makeBundle(installer.places().installed, QString("12"), "installed");
    makeBundle(*installer.places().carried, QString("13"), "carried");
    // A link to nothing would not run: the staged copy fails after the files before it were copied.
    QFile::link(installer.root.filePath("gone"), *installer.places().carried + "/resources/zz-broken");
    CapturedLog log;
    SaverInstaller::refreshInstalledSaver(installer.places());
    EXPECT_TRUE(
        log.finish().startsWith("solvane: could not update the installed screen saver: could not copy "));
    EXPECT_EQ(installer.installedMarker(), "installed");
    EXPECT_EQ(SaverInstaller::buildNumber(installer.places().installed), 12);
    EXPECT_TRUE(readFile(installer.places().installed + "/solvane-saver").contains("installed"));
    EXPECT_TRUE(
        SaverInstaller::installSaver(installer.places()).startsWith("Could not install: could not copy "));
    EXPECT_EQ(installer.installedMarker(), "installed");
    EXPECT_EQ(installer.host->restarts, 0);
    EXPECT_EQ(QDir(installer.root.filePath("data/Solvane/Screen Savers"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Solvane.saver"});
}
