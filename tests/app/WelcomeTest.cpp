#include "Welcome.h"
#include "App.h"
#include "DisplayGeometry.h"
#include "MiniPlayer.h"
#include "QtDates.h"
#include "ScreenMap.h"
#include "TestSupport.h"
#include "WindowsFixture.h"
#include "Wiring.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

TEST(DisplayGeometry, LayoutFitsTheUnionAndLabelsName) {
    const QRectF into(0, 0, 220, 50);
    // One screen: scaled to the height, centred across.
    auto one = DisplayGeometry::layout({QRectF(0, 0, 1920, 1080)}, into);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_NEAR(one[0].height(), 50, 1e-9);
    EXPECT_NEAR(one[0].width(), 1920 * 50.0 / 1080, 1e-9);
    EXPECT_NEAR(one[0].center().x(), 110, 1e-9);

    // Two side by side: they meet in the middle and keep the same scale.
    auto two = DisplayGeometry::layout({QRectF(0, 0, 1280, 720), QRectF(1280, 0, 1280, 720)}, into);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_NEAR(two[0].right(), two[1].left(), 1e-9);
    EXPECT_NEAR(two[0].width(), two[1].width(), 1e-9);
    EXPECT_NEAR(two[0].left() + two[1].right(), 220, 1e-9);

    // Three of mixed sizes, one above the origin: the union fits, sizes keep their ratios.
    auto three = DisplayGeometry::layout(
        {QRectF(0, 0, 2560, 1440), QRectF(2560, -200, 1080, 1920), QRectF(-1280, 400, 1280, 1024)}, into);
    ASSERT_EQ(three.size(), 3u);
    const double scale = 50.0 / 1920; // the union is 4920 x 1920: the height limits
    EXPECT_NEAR(three[0].width(), 2560 * scale, 1e-9);
    EXPECT_NEAR(three[0].top(), 200 * scale, 1e-9);
    EXPECT_NEAR(three[1].top(), 0, 1e-9);
    EXPECT_NEAR(three[1].bottom(), 50, 1e-9);
    EXPECT_NEAR(three[2].right(), three[0].left(), 1e-9);
    QRectF all = three[0].united(three[1]).united(three[2]);
    EXPECT_TRUE(into.adjusted(-1e-9, -1e-9, 1e-9, 1e-9).contains(all));

    EXPECT_TRUE(DisplayGeometry::layout({}, into).empty());
    EXPECT_TRUE(DisplayGeometry::layout({QRectF(0, 0, 0, 100)}, into).empty());

    EXPECT_EQ(DisplayGeometry::tileLabel({}), "off");
    EXPECT_EQ(DisplayGeometry::tileLabel({"171"}), "171");
    EXPECT_EQ(DisplayGeometry::tileLabel({"171", "193", "211"}), "171 +2");

    // Three screens, the second Off: grey and labelled "2  off".
    const auto tiles =
        ScreenMap::tiles({QRectF(0, 0, 100, 100), QRectF(100, 0, 100, 100), QRectF(200, 0, 100, 100)},
                         {ScreenChoice({"171", "193", "211"}), ScreenChoice::off(), ScreenChoice::all()},
                         QRectF(0, 0, 220, 50));
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[0].label, "1  171 +2");
    EXPECT_EQ(tiles[1].label, "2  off");
    EXPECT_EQ(tiles[2].label, "3  all");
    EXPECT_EQ(tiles[1].colour, QColor(85, 85, 85));
    EXPECT_EQ(tiles[0].colour.alphaF(), tiles[2].colour.alphaF());
    EXPECT_NEAR(tiles[0].colour.alphaF(), 0.85, 0.01);
}

TEST_F(WindowsTest, WelcomeShownTwiceIsOneWindowAndChoosingOpensPreferences) {
    Welcome welcome(*preferences, [] { return wallEnvironment(); });
    CapturedLog captured;
    welcome.show();
    EXPECT_TRUE(captured.finish().contains("solvane: welcome: shown"));
    QWidget* window = welcome.window();
    ASSERT_TRUE(window && window->isVisible());
    EXPECT_EQ(window->size(), QSize(760, 560));
    EXPECT_EQ(welcome.preview()->geometry(), QRect(0, 0, 760, 340));
    welcome.show();
    EXPECT_EQ(welcome.window(), window);
    EXPECT_EQ(window->findChildren<WallView*>().size(), 1);
    EXPECT_EQ(welcome.screenMap()->accessibleName(), "2 screen(s)");

    // A click on the screen map opens the Preferences window.
    emit welcome.screenMap()->clicked();
    EXPECT_TRUE(preferences->window()->isVisible());
    preferences->hide();

    // The Wall button: the welcome window goes, Preferences shows Wall selected, nothing is shown.
    Settings::setMode(Mode::desktop);
    welcome.button(Modes::segment(Mode::wall))->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(welcome.preview()->state().stopped);
    EXPECT_TRUE(preferences->window()->isVisible());
    EXPECT_EQ(Settings::mode(), Mode::wall);
    EXPECT_EQ(preferences->controls().mode->checkedId(), Modes::segment(Mode::wall));
    EXPECT_FALSE(app->showing());
    EXPECT_EQ(calls["restore"], 1); // leaving Desktop puts the pictures back

    // Shown again after closing: the same window with one fresh preview.
    welcome.show();
    EXPECT_EQ(welcome.window(), window);
    EXPECT_TRUE(waitFor([&] { return window->findChildren<WallView*>().size() == 1; }));
    EXPECT_FALSE(welcome.preview()->state().stopped);
}

TEST_F(WindowsTest, MiniPlayerOpensInTheCornerPausesByPolicyAndCloses) {
    bool play = true;
    MiniPlayer player([&play](bool occluded) { return play && !occluded; }, [] { return wallEnvironment(); });
    player.toggle();
    ASSERT_TRUE(player.isOpen());
    QWidget* window = player.window();
    const QRect usable = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window->size(), QSize(320, 180));
    EXPECT_EQ(window->pos(), QPoint(usable.right() + 1 - 320 - 24, usable.top() + 24));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window->windowTitle(), "Solvane");
    EXPECT_FALSE(player.wall()->state().policyPaused);

    play = false;
    player.apply();
    EXPECT_TRUE(player.wall()->state().policyPaused);

    player.toggle();
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(player.wall(), nullptr);
    player.toggle();
    EXPECT_TRUE(player.isOpen());
    EXPECT_TRUE(player.wall()->state().policyPaused);

    // Its own close button ends it like the menu item.
    player.window()->close();
    EXPECT_TRUE(waitFor([&] { return !player.isOpen(); }));
}

TEST_F(WindowsTest, TheMainMenuIsOnEveryWindowOfOursThatCanBeActive) {
    App::Environment environment;
    environment.secondsIdle = [] { return 0.0; };
    environment.wallEnvironment = [] { return wallEnvironment(); };
    App running(environment);
    wireAppParts(running, running.parts());
    const auto topLevel = [](const QString& name) -> QWidget* {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->accessibleName() == name) return widget;
        return nullptr;
    };
    const QStringList menus{"Solvane", "Edit", "Display", "Window", "Help"};
    const auto barMenus = [](QWidget* window) {
        QStringList titles;
        if (auto* bar = window ? window->findChild<QMenuBar*>() : nullptr)
            for (QAction* menu : bar->actions())
                titles << menu->text();
        return titles;
    };

    running.parts().showWelcome();
    QWidget* welcome = topLevel("Welcome to Solvane");
    ASSERT_TRUE(welcome);
    EXPECT_EQ(barMenus(welcome), menus);

    running.parts().toggleMiniPlayer();
    QWidget* mini = topLevel("Solvane mini player");
    ASSERT_TRUE(mini);
    // No room for a bar: the keys work in it and a right click opens the same menus.
    QStringList keys;
    for (QAction* action : mini->actions())
        if (!action->shortcut().isEmpty()) keys << action->text();
    EXPECT_TRUE(keys.contains("Settings…") && keys.contains("Quit Solvane") && keys.contains("Mini Player"))
        << keys.join(", ").toStdString();
    EXPECT_EQ(mini->contextMenuPolicy(), Qt::CustomContextMenu);
    running.parts().toggleMiniPlayer();
}

// The welcome title does not promise the last 48 hours over old imagery; choosing a mode is consent.
TEST_F(WindowsTest, WelcomeTitleTellsOldImageryAndChoosingAModeIsConsent) {
    const QDateTime now = compat::utcDateTime(QDate(2026, 12, 8), QTime(20, 0));
    EXPECT_EQ(Welcome::titleFor(now.addSecs(-3600), now), "The Sun, the last 48 hours");
    EXPECT_EQ(Welcome::titleFor(std::nullopt, now), "The Sun, the last 48 hours");
    EXPECT_EQ(Welcome::titleFor(compat::utcDateTime(QDate(2013, 6, 24), QTime(17, 31)), now),
              "The Sun, 48 hours to 24 Jun 2013");

    Settings::setConfigured(false);
    Welcome welcome(*preferences, [] { return wallEnvironment(); });
    welcome.show();
    EXPECT_FALSE(Settings::configured());
    welcome.button(Modes::segment(Mode::desktop))->click();
    EXPECT_TRUE(Settings::configured());
    EXPECT_EQ(calls["apply"], 1);
}
