// The hack's command line, preview rule and screen numbering.

#include "SaverRules.h"

#include <gtest/gtest.h>

using SaverRules::Target;

TEST(SaverRules, ReadsEverySpellingOfItsSwitchesAndXScreenSaversWindow) {
    const struct {
        QStringList arguments;
        const char* environment;
        Target target;
        unsigned long window;
        bool error;
    } cases[] = {
        {{}, "", Target::ownWindow, 0, false},
        {{"-root"}, "", Target::root, 0, false},
        {{"--root"}, "", Target::root, 0, false},
        // XScreenSaver passes --root and names its own window in hexadecimal, with or without 0x.
        {{"--root"}, "0x60000F", Target::window, 0x60000f, false},
        {{"--root"}, "60000f", Target::window, 0x60000f, false},
        {{"-window-id", "0x1a00007"}, "", Target::window, 0x1a00007, false},
        {{"--window-id", "27262983"}, "", Target::window, 27262983, false},
        {{"--window-id=0x2a"}, "0x60000F", Target::window, 0x2a, false},
        {{"-root", "-window-id", "0x2a"}, "", Target::window, 0x2a, false},
        {{"-window-id", "nonsense"}, "", Target::ownWindow, 0, true},
        {{"-window-id"}, "", Target::ownWindow, 0, true},
        {{"-window-id", "0"}, "", Target::ownWindow, 0, true},
        {{"-verbose", "--root"}, "zz", Target::root, 0, false},
    };
    for (const auto& c : cases) {
        const auto request = SaverRules::parse(c.arguments, c.environment);
        const QString name = c.arguments.join(' ') + " / " + c.environment;
        EXPECT_EQ(request.target, c.target) << qPrintable(name);
        EXPECT_EQ(request.window, c.window) << qPrintable(name);
        EXPECT_EQ(request.error.has_value(), c.error) << qPrintable(name);
    }
}

TEST(SaverRules, NumbersScreensAsTheAppDoesAndSpotsPreviews) {
    // Two monitors side by side on X screen 0, one on X screen 1 (Qt may list X screen 1 first).
    const std::vector<SaverRules::ScreenArea> screens = {
        {1, QRect(0, 0, 1280, 720)},
        {0, QRect(0, 0, 1920, 1080)},
        {0, QRect(1920, 0, 1280, 1024)},
    };
    EXPECT_EQ(SaverRules::screenIndex(screens, 0, QPoint(960, 540)), 0);
    EXPECT_EQ(SaverRules::screenIndex(screens, 0, QPoint(2500, 500)), 1);
    EXPECT_EQ(SaverRules::screenIndex(screens, 1, QPoint(640, 360)), 2);
    EXPECT_EQ(SaverRules::screenIndex(screens, 0, QPoint(5000, 5000)), std::nullopt);
    EXPECT_EQ(SaverRules::screenIndex(screens, 2, QPoint(10, 10)), std::nullopt);

    EXPECT_EQ(SaverRules::displayWithoutScreen(":3.1"), QByteArray(":3"));
    EXPECT_EQ(SaverRules::displayWithoutScreen("host.example:0.0"), QByteArray("host.example:0"));
    EXPECT_EQ(SaverRules::displayWithoutScreen(":3"), std::nullopt);

    EXPECT_TRUE(SaverRules::isPreview(QSize(320, 240)));
    EXPECT_TRUE(SaverRules::isPreview(QSize(1280, 300)));
    EXPECT_FALSE(SaverRules::isPreview(QSize(640, 400)));
}
