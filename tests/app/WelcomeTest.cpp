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

TEST_F(WindowsTest, WelcomeShownTwiceIsOneWindowAndEachButtonDoesWhatItSays) {
    Welcome welcome(*preferences, *app, [] { return wallEnvironment(); });
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

    // Settings open only when asked for: the screen map or the Settings button.
    emit welcome.screenMap()->clicked();
    EXPECT_TRUE(preferences->window()->isVisible());
    preferences->hide();
    welcome.settingsButton()->click();
    EXPECT_TRUE(preferences->window()->isVisible());
    preferences->hide();

    // Screen Saver arms and says so; the window stays to be read.
    welcome.button(Modes::segment(Mode::saver))->click();
    EXPECT_EQ(Settings::mode(), Mode::saver);
    EXPECT_TRUE(app->armedWaiting());
    EXPECT_TRUE(
        welcome.note().startsWith("Screen Saver is on: the Sun starts after 5 minutes without input."))
        << welcome.note().toStdString();
    EXPECT_TRUE(window->isVisible());
    app->idleSource = false;
    welcome.button(Modes::segment(Mode::saver))->click();
    EXPECT_TRUE(welcome.note().contains("cannot start on its own")) << welcome.note().toStdString();

    // Desktop sets the picture, and says it waits for today's Sun while no still has come.
    welcome.button(Modes::segment(Mode::desktop))->click();
    EXPECT_EQ(calls["apply"], 1);
    EXPECT_TRUE(welcome.note().contains("as soon as its first image arrives"))
        << welcome.note().toStdString();

    // Wall starts the wall at once, with nothing more to confirm.
    welcome.button(Modes::segment(Mode::wall))->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(welcome.preview()->state().stopped);
    EXPECT_EQ(Settings::mode(), Mode::wall);
    EXPECT_TRUE(app->showing());
    EXPECT_FALSE(preferences->window()->isVisible());
    EXPECT_EQ(calls["restore"], 2); // leaving Desktop (the default, then the chosen) puts the pictures back
    app->hide();

    // Kiosk is prepared in Settings (its download, its exit chord).
    welcome.show();
    EXPECT_TRUE(waitFor([&] { return window->findChildren<WallView*>().size() == 1; }));
    EXPECT_FALSE(welcome.preview()->state().stopped);
    welcome.button(Modes::segment(Mode::kiosk))->click();
    EXPECT_TRUE(preferences->window()->isVisible());
    EXPECT_EQ(preferences->controls().mode->checkedId(), Modes::segment(Mode::kiosk));
    EXPECT_FALSE(app->showing());
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

// The welcome title is today's Sun only over today's imagery: over the bundled clip it says today's is on
// its way, or why it can't come. Choosing a mode is the consent.
TEST_F(WindowsTest, WelcomeTitleFollowsTheCacheAndChoosingAModeIsConsent) {
    const QDateTime now = compat::utcDateTime(QDate(2026, 12, 8), QTime(20, 0));
    CacheEntry seed;
    seed.id = "193";
    seed.video = "seed.mp4";
    seed.updated = "2013-06-24T17:31:30Z";
    CacheEntry today = seed;
    today.video = "193.mp4";
    today.updated = now.addSecs(-3600).toString(Qt::ISODate);
    CacheEntry old = today;
    old.updated = "2025-06-24T17:31:30Z";
    Cache::LastPass unreached;
    unreached.reached = false;
    unreached.reason = "Could not resolve host: sdo.gsfc.nasa.gov";
    struct Case {
        std::vector<CacheEntry> entries;
        std::optional<Cache::LastPass> pass;
        bool offline, downloading;
        const char* title;
    };
    const Case cases[] = {
        {{seed, today}, unreached, false, false, "The Sun, the last 48 hours"},
        {{old}, std::nullopt, false, false, "The Sun, 48 hours to 24 Jun 2025"},
        {{seed}, std::nullopt, false, true, "Today's Sun is on its way"},
        {{seed}, unreached, false, true, "Today's Sun is on its way"},
        {{seed}, unreached, false, false, "Today's Sun can't come: the host name could not be found"},
        {{seed}, std::nullopt, true, false, "Today's Sun can't come: Solvane is offline"},
        {{}, std::nullopt, false, false, "Today's Sun is on its way"},
    };
    for (const Case& c : cases) {
        SourceStatus::State state;
        state.entries = c.entries;
        state.pass = c.pass;
        state.offline = c.offline;
        state.downloading = c.downloading;
        state.now = now;
        EXPECT_EQ(Welcome::titleFor(state).toStdString(), c.title);
    }

    Settings::setConfigured(false);
    Welcome welcome(*preferences, *app, [] { return wallEnvironment(); });
    welcome.show();
    EXPECT_EQ(welcome.title(), "Today's Sun is on its way");
    EXPECT_FALSE(Settings::configured());
    welcome.button(Modes::segment(Mode::desktop))->click();
    EXPECT_TRUE(Settings::configured());
    EXPECT_EQ(calls["apply"], 1);
}
