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

TEST(CommandLine, UnknownArgumentsLeaveTheApplicationToStart) {
    EXPECT_FALSE(CommandLine::parse({}).runAction());
    EXPECT_FALSE(CommandLine::parse({"--verbose", "x"}).runAction());
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
