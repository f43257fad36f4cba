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
        {"an old line of ours on the header's own line keeps the header",
         "programs:\t\"Solvane\" /opt/old/solvane-saver --root \\n\\\n  maze --root \\n\nlock: False\n",
         defaults, "programs:\t" + ours + " \\n\\\n  maze --root \\n\nlock: False\n"},
        {"a line of the person's that merely names solvane-saver stays",
         "programs:\t\\\n  \"Mine\" /home/u/bin/run-solvane-saver-twice --root \\n\\\n- GL: \"Also\" "
         "solvane-saver.sh --root \\n\n",
         defaults,
         "programs:\t\\\n  \"Mine\" /home/u/bin/run-solvane-saver-twice --root \\n\\\n- GL: \"Also\" "
         "solvane-saver.sh --root \\n\\\n" +
             line + "\n"},
        {"CRLF line ends stay, and ours goes inside the list",
         "mode:\tone\r\nprograms:\t\\\r\n  maze --root \\n\r\ntimeout:\t0:10:00\r\n", defaults,
         "mode:\tone\r\nprograms:\t\\\r\n  maze --root \\n\\\r\n" + line + "\r\ntimeout:\t0:10:00\r\n"},
    };
    for (const Case& c : cases) {
        const QString merged = XScreenSaverHost::merged(c.file, ours, "solvane-saver", c.defaults);
        EXPECT_EQ(merged, c.expected) << c.name;
        // Merging again changes nothing.
        EXPECT_EQ(XScreenSaverHost::merged(merged, ours, "solvane-saver", c.defaults), merged) << c.name;
    }
}

TEST(XScreenSaverHost, ReadsTheListOfTheDefaultsFileAndAsksTheDaemonWhetherItRuns) {
    EXPECT_EQ(XScreenSaverHost::programsBlock(
                  "*fade:\tTrue\n*programs:\t\\\n  maze --root \\n\\\n  qix --root \\n\n*lock: False\n"),
              "programs:\t\\\n  maze --root \\n\\\n  qix --root \\n");
    EXPECT_EQ(XScreenSaverHost::programsBlock("*fade: True\n"), std::nullopt);
    // Whatever the desktop's name, XScreenSaver is the saver only where its daemon answers.
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const struct {
        const char* command;
        bool answers;
    } daemons[] = {{"true", true},
                   {"false", false},
                   {"no-such-xscreensaver-command", false},
                   {"xscreensaver-command", false}};
    for (const auto& row : daemons)
        EXPECT_EQ(
            XScreenSaverHost({"/nonexistent/.xscreensaver", "/nonexistent", row.command}).isDesktopsSaver(),
            row.answers)
            << row.command;
    if (!display.isEmpty()) qputenv("DISPLAY", display);
}

TEST(XScreenSaverHost, RegisteringWritesWhereALinkedFileLives) {
    QTemporaryDir home;
    writeFile(home.filePath("dotfiles-xscreensaver"), "mode: one\nprograms: \\\n  maze --root \\n\n");
    QFile::link(home.filePath("dotfiles-xscreensaver"), home.filePath(".xscreensaver"));
    XScreenSaverHost host({home.filePath(".xscreensaver"), home.filePath("no-defaults"), "true"});
    EXPECT_EQ(host.registerHack("Solvane", "/opt/x/solvane-saver"), std::nullopt);
    EXPECT_TRUE(QFileInfo(home.filePath(".xscreensaver")).isSymLink());
    EXPECT_EQ(QString::fromUtf8(readFile(home.filePath("dotfiles-xscreensaver"))),
              "mode: one\nprograms: \\\n  maze --root \\n\\\n\t\t\t\t\"Solvane\"\t'/opt/x/solvane-saver' "
              "--root \\n\n");
    EXPECT_TRUE(host.isDesktopsSaver());
}

TEST(XScreenSaverHost, EveryByteOfThePersonsFileStays) {
    QTemporaryDir home;
    // Latin-1 comments and a stray byte are not UTF-8; they go back out exactly as they came.
    const QByteArray before = "! r\xe9glages de Zo\xeb \xff\nprograms:\t\\\n  maze --root \\n\n";
    writeFile(home.filePath(".xscreensaver"), before);
    XScreenSaverHost host({home.filePath(".xscreensaver"), home.filePath("no-defaults"), "true"});
    EXPECT_EQ(host.registerHack("Solvane", QString::fromUtf8("/home/zo\xc3\xab/solvane-saver")),
              std::nullopt);
    EXPECT_EQ(readFile(home.filePath(".xscreensaver")),
              before.chopped(1) + "\\\n\t\t\t\t\"Solvane\"\t'/home/zo\xc3\xab/solvane-saver' --root \\n\n");
    // Registered again, nothing changes.
    EXPECT_EQ(host.registerHack("Solvane", QString::fromUtf8("/home/zo\xc3\xab/solvane-saver")),
              std::nullopt);
    EXPECT_EQ(readFile(home.filePath(".xscreensaver")).count("solvane-saver"), 1);
}
