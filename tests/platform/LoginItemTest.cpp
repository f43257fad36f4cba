// The XDG autostart login item on a temporary config folder, checked by the desktop's own validator.

#include "TestSupport.h"
#include "XdgAutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// desktop-file-validate's verdict: empty when the entry is valid.
QString validate(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("desktop-file-validate"), {path});
    process.waitForFinished(30000);
    const QString output =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    if (process.exitCode() != 0) return output.isEmpty() ? QStringLiteral("failed") : output;
    return output.trimmed();
}

} // namespace

TEST(XdgAutostartLoginItem, EnablingWritesAValidEntryThatStartsTheProgram) {
    QTemporaryDir config;
    XdgAutostartLoginItem item(config.path() + "/autostart", "/opt/solvane/bin/solvane");
    EXPECT_FALSE(item.isEnabled());
    EXPECT_EQ(item.setEnabled(true), std::nullopt);
    EXPECT_TRUE(item.isEnabled());
    EXPECT_EQ(item.file(), config.path() + "/autostart/solvane.desktop");
    const QByteArray text = readFile(item.file());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=/opt/solvane/bin/solvane\n")) << text.constData();
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    EXPECT_EQ(validate(item.file()), QString());

    EXPECT_EQ(item.setEnabled(false), std::nullopt);
    EXPECT_FALSE(QFile::exists(item.file()));
    EXPECT_FALSE(item.isEnabled());
    EXPECT_EQ(item.setEnabled(false), std::nullopt) << "disabling twice is not a failure";
}

TEST(XdgAutostartLoginItem, AwkwardProgramPathsAreQuotedAndStillValid) {
    QTemporaryDir config;
    const QString path = "/home/a b/100% \"sun\"/$x\\solvane";
    EXPECT_EQ(XdgAutostartLoginItem::execArgument("/usr/bin/solvane"), "/usr/bin/solvane");
    EXPECT_EQ(XdgAutostartLoginItem::execArgument(path),
              "\"/home/a b/100%% \\\\\"sun\\\\\"/\\\\$x\\\\\\\\solvane\"");
    EXPECT_EQ(XdgAutostartLoginItem::entryText("relative/solvane"), std::nullopt);
    EXPECT_EQ(XdgAutostartLoginItem::entryText("/bad\npath"), std::nullopt);

    XdgAutostartLoginItem item(config.path() + "/autostart", path);
    ASSERT_EQ(item.setEnabled(true), std::nullopt);
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    EXPECT_EQ(validate(item.file()), QString());
}

TEST(XdgAutostartLoginItem, EntriesSwitchedOffByTheDesktopCountAsDisabled) {
    using Item = XdgAutostartLoginItem;
    const QByteArray ours = *Item::entryText("/usr/bin/solvane");
    EXPECT_TRUE(Item::entryEnabled(ours));
    EXPECT_FALSE(Item::entryEnabled(ours + "Hidden=true\n"));
    EXPECT_FALSE(Item::entryEnabled(ours + "X-GNOME-Autostart-enabled = false\n"));
    EXPECT_TRUE(Item::entryEnabled(ours + "Hidden=false\n"));
    // Keys of other groups do not count.
    EXPECT_TRUE(Item::entryEnabled(ours + "[Desktop Action quit]\nHidden=true\n"));
    EXPECT_TRUE(Item::entryEnabled(ours + "# Hidden=true\n"));

    QTemporaryDir config;
    Item item(config.path(), "/usr/bin/solvane");
    writeFile(item.file(),
              QByteArray(ours).replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"));
    EXPECT_FALSE(item.isEnabled());
    // Turning it on again replaces the switched-off entry.
    EXPECT_EQ(item.setEnabled(true), std::nullopt);
    EXPECT_TRUE(item.isEnabled());
}

TEST(XdgAutostartLoginItem, FailuresSayWhatWentWrong) {
    QTemporaryDir config;
    writeFile(config.path() + "/autostart", "a file where the folder should be");
    XdgAutostartLoginItem item(config.path() + "/autostart", "/usr/bin/solvane");
    const std::optional<QString> failure = item.setEnabled(true);
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith("cannot create the folder " + config.path() + "/autostart"))
        << failure->toStdString();
    EXPECT_FALSE(item.isEnabled());

    XdgAutostartLoginItem relative(config.path() + "/ok", "solvane");
    EXPECT_EQ(relative.setEnabled(true), "cannot start solvane from a desktop entry");
}

TEST(XdgAutostartLoginItem, DefaultsFollowTheEnvironment) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/solvane-config-test");
    EXPECT_EQ(XdgAutostartLoginItem::defaultFolder(), "/tmp/solvane-config-test/autostart");
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(XdgAutostartLoginItem::defaultFolder(), QDir::homePath() + "/.config/autostart");
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_TRUE(QDir::isAbsolutePath(XdgAutostartLoginItem::defaultExecutable()));
}
