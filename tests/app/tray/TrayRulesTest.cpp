#include "StatusLine.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

TEST(TrayRules, StatusLineSaysWhatTheProgramDoes) {
    struct Case {
        StatusState state;
        const char* line;
    };
    const Case cases[] = {
        {{Mode::wall, true, true, 5, false, 1440}, "Wall: on screen"},
        {{Mode::saver, false, true, 2.9, false, 1440}, "Screen Saver: armed, starts after 2 min idle"},
        {{Mode::kiosk, false, false, 5, true, 1440}, "Kiosk: ready"},
        {{Mode::wall, false, false, 5, false, 1440}, "Wall: ready"},
        {{Mode::saver, false, false, 2.9, false, 1440}, "Screen Saver: starts after 2 min idle"},
        {{Mode::desktop, false, false, 5, true, 720}, "Desktop: picture fixed, not updating"},
        {{Mode::desktop, false, false, 5, false, 720}, "Desktop: picture updates twice a day"},
        {{Mode::desktop, false, false, 5, false, 360}, "Desktop: picture updates once a day"},
        {{Mode::desktop, false, false, 5, false, 1440}, "Desktop: picture updates once a day"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(statusLine(c.state).toStdString(), c.line);
}

TEST(TrayRules, EachModeShowsItsOwnItems) {
    struct Case {
        Mode mode;
        bool desktopActive;
        const char* start; // nullptr: the title is left alone
        bool startShown, desktopShown, updateShown, shareShown;
    };
    const Case cases[] = {
        {Mode::wall, false, "Start Wall Now", true, false, true, true},
        {Mode::saver, true, "Start Screen Saver Now", true, true, true, true},
        {Mode::kiosk, false, "Start Kiosk Now", true, false, false, false},
        {Mode::desktop, true, nullptr, false, true, true, true},
    };
    for (const Case& c : cases) {
        const MenuLook look = menuLook(c.mode, c.desktopActive);
        EXPECT_EQ(look.startTitle.has_value(), c.start != nullptr);
        if (c.start) {
            EXPECT_EQ(look.startTitle->toStdString(), c.start);
        }
        EXPECT_EQ(look.startVisible, c.startShown);
        EXPECT_EQ(look.desktopVisible, c.desktopShown);
        EXPECT_EQ(look.updateVisible, c.updateShown);
        EXPECT_EQ(look.shareVisible, c.shareShown);
    }
}

TEST(TrayRules, LiveIconIsDueEveryTwentyMinutes) {
    const QDateTime last(QDate(2026, 12, 8), QTime(5, 0), QTimeZone::utc());
    EXPECT_TRUE(StatusThumb::due(std::nullopt, last));
    EXPECT_FALSE(StatusThumb::due(last, last.addSecs(1199)));
    EXPECT_TRUE(StatusThumb::due(last, last.addSecs(1200)));
    // A clock set back does not count as time passed.
    EXPECT_FALSE(StatusThumb::due(last, last.addSecs(-3600)));
}

} // namespace
