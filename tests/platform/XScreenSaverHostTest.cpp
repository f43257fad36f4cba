// Registering the hack in ~/.xscreensaver's programs list: one line of ours, everything else kept.

#include "XScreenSaverHost.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString ours = XScreenSaverHost::entry(
    "Solvane", "/home/u/.local/share/Solvane/Screen Savers/Solvane.saver/solvane-saver");
const QString line = "\t\t\t\t" + ours + " \\n";

} // namespace

TEST(XScreenSaverHost, TheEntryQuotesTheProgramForTheShellAndTheResourceFile) {
    EXPECT_EQ(ours,
              "\"Solvane\"\t'/home/u/.local/share/Solvane/Screen Savers/Solvane.saver/solvane-saver' --root");
    // A quote closes, is escaped and reopens; the escaping backslash is doubled for the resource reader.
    EXPECT_EQ(XScreenSaverHost::entry("Solvane", "/o'k/solvane-saver"),
              "\"Solvane\"\t'/o'\\\\''k/solvane-saver' --root");
}

TEST(XScreenSaverHost, MergesOneLineAndKeepsEveryOtherLineInItsOrder) {
    const QString defaults = "programs:\t\\\n\t\tmaze --root \\n\\\n- GL:\tsuperquadrics --root \\n";
    struct Case {
        const char* name;
        std::optional<QString> file;
        std::optional<QString> defaults;
        QString expected;
    } cases[] = {
        {"a missing file starts from the defaults", std::nullopt, defaults,
         "programs:\t\\\n\t\tmaze --root \\n\\\n- GL:\tsuperquadrics --root \\n\\\n" + line + "\n"},
        {"a missing file without defaults holds ours alone", std::nullopt, std::nullopt,
         "programs:\t\\\n" + line + "\n"},
        {"ours goes last, so a selected: index still names the same hack",
         "mode:\t\tone\nselected:\t1\nprograms:\t\\\n  maze --root \\n\\\n  \"Qix\" qix --root "
         "\\n\ntimeout:\t0:10:00\n",
         defaults,
         "mode:\t\tone\nselected:\t1\nprograms:\t\\\n  maze --root \\n\\\n  \"Qix\" qix --root \\n\\\n" +
             line + "\ntimeout:\t0:10:00\n"},
        {"an old line of ours is replaced where it stands, enabled",
         "programs:\t\\\n  maze --root \\n\\\n-  \"Solvane\" /opt/old/solvane-saver --root \\n\\\n  qix "
         "--root \\n\n",
         defaults, "programs:\t\\\n  maze --root \\n\\\n" + line + "\\\n  qix --root \\n\n"},
        {"a file without a list gets the defaults and ours", "lock:\t\tFalse\n", defaults,
         "lock:\t\tFalse\nprograms:\t\\\n\t\tmaze --root \\n\\\n- GL:\tsuperquadrics --root \\n\\\n" + line +
             "\n"},
        {"an empty list", "programs:\nfade: False", defaults, "programs:\t\\\n" + line + "\nfade: False\n"},
        {"a last entry without its \\n", "programs: \\\n  maze --root", std::nullopt,
         "programs: \\\n  maze --root \\n\\\n" + line + "\n"},
    };
    for (const Case& c : cases) {
        const QString merged = XScreenSaverHost::merged(c.file, ours, "solvane-saver", c.defaults);
        EXPECT_EQ(merged, c.expected) << c.name;
        // Merging again changes nothing.
        EXPECT_EQ(XScreenSaverHost::merged(merged, ours, "solvane-saver", c.defaults), merged) << c.name;
    }
}

TEST(XScreenSaverHost, ReadsTheListOfTheDefaultsFileAndKnowsWhichDesktopsRunIt) {
    EXPECT_EQ(XScreenSaverHost::programsBlock(
                  "*fade:\tTrue\n*programs:\t\\\n  maze --root \\n\\\n  qix --root \\n\n*lock: False\n"),
              "programs:\t\\\n  maze --root \\n\\\n  qix --root \\n");
    EXPECT_EQ(XScreenSaverHost::programsBlock("*fade: True\n"), std::nullopt);
    for (const char* desktop : {"GNOME", "ubuntu:GNOME", "KDE", "kde"})
        EXPECT_FALSE(XScreenSaverHost::runsXScreenSaver(desktop)) << desktop;
    for (const char* desktop : {"", "XFCE", "MATE", "X-Cinnamon", "LXDE"})
        EXPECT_TRUE(XScreenSaverHost::runsXScreenSaver(desktop)) << desktop;
}

TEST(XScreenSaverHost, RegisteringWritesWhereALinkedFileLives) {
    QTemporaryDir home;
    writeFile(home.filePath("dotfiles-xscreensaver"), "mode: one\nprograms: \\\n  maze --root \\n\n");
    QFile::link(home.filePath("dotfiles-xscreensaver"), home.filePath(".xscreensaver"));
    XScreenSaverHost host({home.filePath(".xscreensaver"), home.filePath("no-defaults"), "XFCE"});
    EXPECT_EQ(host.registerHack("Solvane", "/opt/x/solvane-saver"), std::nullopt);
    EXPECT_TRUE(QFileInfo(home.filePath(".xscreensaver")).isSymLink());
    EXPECT_EQ(QString::fromUtf8(readFile(home.filePath("dotfiles-xscreensaver"))),
              "mode: one\nprograms: \\\n  maze --root \\n\\\n\t\t\t\t\"Solvane\"\t'/opt/x/solvane-saver' "
              "--root \\n\n");
    EXPECT_TRUE(host.isDesktopsSaver());
}
