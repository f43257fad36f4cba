#include "AppFixture.h"
#include "CloseButton.h"
#include "ModeBadge.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestSupport.h"
#include "WallKeys.h"
#include "WallWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST_F(AppGui, ShowsOneWallPerScreenOnDifferentProducts) {
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    CapturedLog captured;
    auto owned = makeApp();
    App& app = *owned;
    app.show();
    ASSERT_TRUE(app.showing());
    ASSERT_EQ(app.windows().size(), 2u);
    EXPECT_TRUE(app.coversAll());
    EXPECT_TRUE(app.cursorHidden());
    EXPECT_EQ(app.closeButtons().size(), 2u);
    EXPECT_EQ(app.windows()[1]->geometry(), QGuiApplication::screens()[1]->geometry());
    EXPECT_NE(app.walls()[0]->state().clipID, app.walls()[1]->state().clipID);
    EXPECT_TRUE(Settings::d().boolean(Settings::Key::wallHintShown));
    app.hide();
    EXPECT_FALSE(app.showing());
    EXPECT_TRUE(app.windows().empty());
    EXPECT_FALSE(app.cursorHidden());
    EXPECT_TRUE(captured.finish().contains("showing 2 of 2 display(s), mode wall"));
}

TEST_F(AppGui, AScreenTurnedOffGetsNoWallAndThePointerStays) {
    Settings::setProducts({"", "off"});
    auto owned = makeApp();
    App& app = *owned;
    app.show();
    ASSERT_EQ(app.windows().size(), 1u);
    EXPECT_FALSE(app.coversAll());
    EXPECT_FALSE(app.cursorHidden());
    app.hide();

    Settings::setProducts({"off", "off"});
    CapturedLog captured;
    app.show();
    EXPECT_FALSE(app.showing());
    EXPECT_EQ(preferences, 1);
    EXPECT_TRUE(captured.finish().contains("every screen is Off; nothing to show"));
}

TEST_F(AppGui, ControlsFadeInWithInputAndOutWhenIdle) {
    auto owned = makeApp();
    App& app = *owned;
    app.show();
    idle = 0.5;
    app.tick();
    EXPECT_TRUE(app.buttonsVisible());
    EXPECT_FALSE(app.cursorHidden());
    EXPECT_TRUE(app.walls()[0]->state().timeHeld);
    idle = 3.0;
    app.tick();
    EXPECT_FALSE(app.buttonsVisible());
    EXPECT_TRUE(app.cursorHidden());
    EXPECT_FALSE(app.walls()[1]->state().timeHeld);

    // Hidden while the controls show, the next show starts with them hidden until input comes.
    idle = 0.5;
    app.tick();
    ASSERT_TRUE(app.buttonsVisible());
    app.hide();
    idle = 100;
    app.show();
    EXPECT_FALSE(app.buttonsVisible());
    for (CloseButton* button : app.closeButtons())
        EXPECT_EQ(button->opacity(), 0.0);

    // Input fades them in quickly (0.15 s); idle fades them out slowly (0.8 s). Measured as the time until
    // the fade is done, which a loaded machine can only lengthen; swapped times fail both ways.
    const auto secondsUntil = [](CloseButton* button, double opacity) {
        QElapsedTimer waited;
        waited.start();
        while (button->opacity() != opacity && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return waited.elapsed() / 1000.0;
    };
    idle = 0.5;
    app.tick();
    EXPECT_TRUE(app.buttonsVisible());
    EXPECT_LT(secondsUntil(app.closeButtons()[0], 1.0), 0.6) << "the fade-in is quick";
    idle = 3.0;
    app.tick();
    const double fadeOut = secondsUntil(app.closeButtons()[0], 0.0);
    EXPECT_GT(fadeOut, 0.6) << "the fade-out is slow, still partly visible after 0.3 s";
    EXPECT_LT(fadeOut, 5.0);
    app.hide();
}

TEST_F(AppGui, KeysReachEveryWall) {
    auto owned = makeApp();
    App& app = *owned;
    EXPECT_FALSE(app.handleKey(Qt::Key_Space, Qt::NoModifier, " ")); // not showing: passes through
    app.show();
    EXPECT_TRUE(app.handleKey(Qt::Key_I, Qt::NoModifier, "i"));
    EXPECT_TRUE(app.walls()[0]->infoUp() && app.walls()[1]->infoUp());
    EXPECT_FALSE(app.handleKey(Qt::Key_I, Qt::ControlModifier, "i"));
    EXPECT_TRUE(app.handleKey(Qt::Key_Space, Qt::NoModifier, " "));
    EXPECT_TRUE(app.walls()[0]->paused() && app.walls()[1]->paused());
    EXPECT_TRUE(app.handleKey(Qt::Key_Right, Qt::ShiftModifier, ""));
    EXPECT_TRUE(app.walls()[0]->state().heldSlot && app.walls()[1]->state().heldSlot);
    EXPECT_FALSE(app.handleKey(Qt::Key_X, Qt::NoModifier, "x"));
    EXPECT_TRUE(app.handleKey(Qt::Key_Q, Qt::ControlModifier, "q"));
}

TEST_F(AppGui, ScrollScrubsOnlyTheWallUnderIt) {
    auto owned = makeApp();
    App& app = *owned;
    app.show();
    EXPECT_TRUE(app.handleScroll(app.walls()[1], QPointF(0, 12), QPoint()));
    EXPECT_TRUE(app.walls()[1]->state().heldSlot);
    EXPECT_DOUBLE_EQ(app.walls()[1]->state().scrubCarry, 4);
    EXPECT_FALSE(app.walls()[0]->state().heldSlot);
    // A notched wheel moves one slot per notch.
    EXPECT_TRUE(app.handleScroll(app.walls()[0], QPointF(), QPoint(0, 240)));
    EXPECT_TRUE(app.walls()[0]->state().heldSlot);
    EXPECT_DOUBLE_EQ(app.walls()[0]->state().scrubCarry, 0);
}

TEST_F(AppGui, ScreenChangesRebuildOnceAndOnlyWhenTheLayoutChanged) {
    auto owned = makeApp();
    App& app = *owned;
    app.show();
    const int builds = app.builds();
    app.screensChanged();
    app.screensChanged();
    EXPECT_TRUE(app.rebuildPending());
    QElapsedTimer timer;
    timer.start();
    while (app.rebuildPending() && timer.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(app.builds(), builds); // same frames as before: nothing rebuilt
}

TEST_F(AppGui, TheCloseButtonDismissesAndTheKioskBadgeLetsClicksThrough) {
    auto owned = makeApp();
    App& app = *owned;
    app.show();
    CloseButton* button = app.closeButtons()[0];
    EXPECT_EQ(button->accessibleName(), "Close the wall");
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(button, &press);
    QCoreApplication::processEvents();
    EXPECT_FALSE(app.showing());
    EXPECT_EQ(preferences, 1);

    Settings::setMode(Mode::kiosk);
    app.show();
    ASSERT_EQ(app.badges().size(), 1u * app.windows().size());
    ModeBadge* badge = app.badges()[0];
    EXPECT_EQ(badge->accessibleName(), "Kiosk mode, locked");
    WallWindow* window = app.windows()[0];
    const QPoint centre = badge->geometry().center();
    EXPECT_EQ(window->childAt(centre), app.walls()[0]);
    // Only the exit chord leaves a kiosk.
    EXPECT_FALSE(app.handleKey(Qt::Key_Q, Qt::ControlModifier, "q"));
    EXPECT_TRUE(app.handleKey(Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier, "q"));
}

TEST(CloseButtonDrawing, TheCrossIsSizedFromTheDisc) {
    const auto g = CloseButton::geometry(QSizeF(64, 80));
    EXPECT_DOUBLE_EQ(g.discRadius, 26);
    EXPECT_DOUBLE_EQ(g.halfArm, 0.42 * 26);
    EXPECT_DOUBLE_EQ(g.lineWidth, 3.5);
}

TEST(StartFromTheCommandLine, ShowsTheWallAtOnceAndQuitsAfterTheSeconds) {
    QTemporaryDir home;
    const QString cache = home.filePath("cache/Solvane");
    QDir().mkpath(cache);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=64x64:r=18:d=2", "-pix_fmt",
                            "yuv420p", cache + "/rainbow.mp4"});
    ffmpeg.waitForFinished(60000);
    writeFile(
        cache + "/manifest.json",
        R"([{"id": "rainbow", "label": "Rainbow", "video": "rainbow.mp4", "updated": "2026-12-07T20:00:00Z"}])");
    // The first screen's default choice is the rainbow composite.
    QElapsedTimer timer;
    timer.start();
    const ProcessResult run =
        runSolvane({"--start", "--seconds", "1.5"}, {},
                   {"XDG_CACHE_HOME=" + home.filePath("cache"), "XDG_CONFIG_HOME=" + home.filePath("config"),
                    "QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(run.status, 0) << run.err.constData();
    EXPECT_TRUE(run.err.contains("playing Rainbow")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("showing 1 of 1 display(s), mode wall")) << run.err.constData();
    EXPECT_LT(timer.elapsed(), 30000);
}

// Esc ends a wall as its close button does (a kiosk keeps to its chord); ? and F1 bring up the keys;
// pausing, or stepping a frame, puts up the paused mark.
TEST_F(AppGui, EscEndsAWallTheKeysOverlayAndThePausedMark) {
    auto owned = makeApp();
    App& app = *owned;
    app.show();
    WallWindow* first = app.windows()[0];
    EXPECT_TRUE(app.handleKey(Qt::Key_Question, Qt::ShiftModifier, "?"));
    EXPECT_TRUE(WallKeys::overlayShown(first) && WallKeys::overlayShown(app.windows()[1]));
    EXPECT_TRUE(app.handleKey(Qt::Key_F1, Qt::NoModifier, ""));
    QCoreApplication::processEvents();
    EXPECT_FALSE(WallKeys::overlayShown(first));
    for (const char* key : {"Esc", "Space", "Shift", "Wheel", "? or F1"})
        EXPECT_TRUE(WallKeys::lines().join('\n').contains(key)) << key;

    EXPECT_TRUE(app.handleKey(Qt::Key_Space, Qt::NoModifier, " "));
    EXPECT_TRUE(WallKeys::pausedShown(first));
    EXPECT_TRUE(app.handleKey(Qt::Key_Space, Qt::NoModifier, " "));
    EXPECT_FALSE(WallKeys::pausedShown(first));
    EXPECT_TRUE(app.handleKey(Qt::Key_Left, Qt::ShiftModifier, ""));
    EXPECT_TRUE(WallKeys::pausedShown(first));

    EXPECT_TRUE(app.handleKey(Qt::Key_Escape, Qt::NoModifier, ""));
    QCoreApplication::processEvents();
    EXPECT_FALSE(app.showing());

    Settings::setMode(Mode::kiosk);
    app.show();
    EXPECT_FALSE(app.handleKey(Qt::Key_Escape, Qt::NoModifier, ""));
    QCoreApplication::processEvents();
    EXPECT_TRUE(app.showing());
    app.hide();
}
