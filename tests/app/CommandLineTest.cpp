#include "CommandLine.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(CommandLine, SecondsTakesTheNumberAfterItsFirstOccurrence) {
    EXPECT_EQ(CommandLine::parse({"--seconds", "2.5"}).autoQuit, 2.5);
    EXPECT_EQ(CommandLine::parse({"--start", "--seconds", "5", "--seconds", "9"}).autoQuit, 5.0);
    EXPECT_FALSE(CommandLine::parse({"--seconds"}).autoQuit);
    EXPECT_FALSE(CommandLine::parse({"--seconds", "soon"}).autoQuit);
    EXPECT_FALSE(CommandLine::parse({}).autoQuit);
}

TEST(CommandLine, FlagsAreWholeCaseSensitiveArguments) {
    const auto line = CommandLine::parse({"--Prime", "--refresh", "x--start"});
    EXPECT_FALSE(line.primeOnly);
    EXPECT_TRUE(line.refreshOnly);
    EXPECT_FALSE(line.forceStart);
    EXPECT_TRUE(CommandLine::parse({"--start"}).forceStart);
    EXPECT_TRUE(CommandLine::parse({"a", "--prime"}).primeOnly);
}

TEST(CommandLine, NoArgumentsLinksAndQtOptionsLeaveTheApplicationToStart) {
    EXPECT_FALSE(CommandLine::parse({}).runAction());
    EXPECT_FALSE(CommandLine::parse({"solvane://settings", "--start", "--seconds", "-1"}).runAction());
    EXPECT_FALSE(CommandLine::parse({"-platform", "offscreen", "--kiosk"}).runAction());
}

// Help, version and a mistyped switch answer at once, with no display to open a window on.
TEST(CommandLine, HelpVersionAndUnknownSwitchesNeedNoDisplay) {
    const QStringList noDisplay{"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"};
    struct Case {
        QStringList arguments;
        int status;
        const char* outStarts;
        const char* errStarts;
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: solvane [--start]", ""},
        {{"--start", "-h"}, 0, "Usage: solvane [--start]", ""},
        {{"--version"}, 0, "Solvane 0.1.0 (build ", ""},
        {{"--verbose", "x"}, 2, "", "solvane: unknown option --verbose\nUsage: solvane [--start]"},
        {{"--diagnose", "--prine"}, 2, "", "solvane: unknown option --prine\n"},
        {{"--export-frame", "171", "-out.png", "-x"}, 2, "", "solvane: unknown option -x\n"},
    };
    for (const Case& c : cases) {
        const auto result = runSolvane(c.arguments, {}, noDisplay);
        const QString name = c.arguments.join(' ');
        EXPECT_EQ(result.status, c.status) << name.toStdString() << result.err.toStdString();
        EXPECT_TRUE(result.out.startsWith(c.outStarts)) << name.toStdString() << result.out.toStdString();
        EXPECT_TRUE(result.err.startsWith(c.errStarts)) << name.toStdString() << result.err.toStdString();
    }
    const auto help = runSolvane({"--help"}, {}, noDisplay);
    for (const char* line :
         {"--check-index <path-or-url>", "--export-frame <id> <out.png>", "--selftest", "--look-test",
          "--diagnose", "--refresh", "--prime", "--start", "--seconds N", "--kiosk", "--version", "\n  0  ",
          "\n  1  ", "\n  2  ", "\n  3  ", "\n  4  ", "\n  5  ", "\n  128+N  "})
        EXPECT_TRUE(help.out.contains(line)) << line;
}

TEST(CommandLine, UsageLinesForMissingOperands) {
    auto result = runSolvane({"--check-index"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "usage: Solvane --check-index <path-or-url>\n");
    EXPECT_EQ(result.out, "");
    result = runSolvane({"--export-frame", "171"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "usage: Solvane --export-frame <product-id> <out.png>\n");
}

TEST(CommandLine, AFollowingSwitchIsTakenAsTheOperand) {
    const auto result = runSolvane({"--check-index", "--diagnose"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "reject ? cannot read --diagnose\n");
}
