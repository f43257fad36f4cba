// What the controller holds while walls show and how it lets go: a layout or a show with no window left,
// the fading of the controls, which events are wall keys, the idle tick's one try per idle period, and
// walls on some screens only.

#include "AppFixture.h"
#include "CloseButton.h"
#include "DesktopSession.h"
#include "IdleTime.h"
#include "ModeBadge.h"
#include "WallWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QThread>
#include <QWheelEvent>
#include <QWindow>

namespace {

void pump(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

int count(const QByteArray& text, const QByteArray& line) {
    return int(text.count(line));
}

} // namespace

TEST_F(AppGui, NoWindowLeftEndsTheShowingOnceAndLetsEverythingGo) {
    struct Case {
        const char* what;
        Mode mode;
        bool byLayoutChange; // else a second show()
    };
    for (const Case& c :
         {Case{"layout change, wall", Mode::wall, true}, Case{"layout change, kiosk", Mode::kiosk, true},
          Case{"show again, wall", Mode::wall, false}}) {
        SCOPED_TRACE(c.what);
        Settings::setMode(c.mode);
        Settings::setProducts({"", ""});
        auto owned = makeApp();
        App& app = *owned;
        int statusChanges = 0;
        app.parts().statusChanged = [&statusChanges] { ++statusChanges; };
        preferences = 0;
        app.show();
        ASSERT_TRUE(app.showing());
        ASSERT_TRUE(sleep->held());
        ASSERT_TRUE(app.cursorHidden());

        Settings::setProducts({"off", "off"});
        CapturedLog captured;
        if (c.byLayoutChange)
            app.layoutChanged({QRect(0, 0, 1280, 720)}); // the other display unplugged
        else
            app.show();
        app.tick();
        const QByteArray log = captured.finish();
        EXPECT_FALSE(app.showing());
        EXPECT_TRUE(app.windows().empty());
        EXPECT_FALSE(sleep->held());
        EXPECT_FALSE(app.cursorHidden());
        EXPECT_EQ(count(log, "every screen is Off; nothing to show"), 1) << log.constData();
        EXPECT_EQ(preferences, 1);
        EXPECT_GE(statusChanges, 2); // on, then off again
        // Keys pass on to whatever has them now.
        EXPECT_FALSE(app.handleKey(Qt::Key_Space, Qt::NoModifier, " "));
    }
}

TEST_F(AppGui, InputDuringTheFadeOutBringsTheControlsBackForGood) {
    for (Mode mode : {Mode::wall, Mode::kiosk}) {
        Settings::setMode(mode);
        auto owned = makeApp();
        App& app = *owned;
        app.show();
        std::vector<std::function<double()>> opacities;
        for (CloseButton* button : app.closeButtons())
            opacities.push_back([button] { return button->opacity(); });
        for (ModeBadge* badge : app.badges())
            opacities.push_back([badge] { return badge->opacity(); });
        ASSERT_EQ(opacities.size(), 2u);

        app.setButtons(true);
        pump(300);
        app.setButtons(false); // a 0.8 s fade-out starts
        pump(150);
        app.setButtons(true); // input again before it ends
        pump(1200);
        for (const auto& opacity : opacities)
            EXPECT_DOUBLE_EQ(opacity(), 1.0) << Modes::rawValue(mode).toStdString();
        app.setButtons(false);
        pump(1200);
        for (const auto& opacity : opacities)
            EXPECT_DOUBLE_EQ(opacity(), 0.0) << Modes::rawValue(mode).toStdString();
    }
}

TEST_F(AppGui, WallKeysAndTheWheelActOnlyInWallWindows) {
    auto owned = makeApp();
    App& app = *owned;
    app.show();
    ASSERT_EQ(app.windows().size(), 2u);
    QLineEdit field; // a Preferences field, the save dialog's name, the About box: not walls
    field.show();

    struct Case {
        const char* what;
        QObject* target;
        bool wall;
    };
    const Case cases[] = {
        {"the wall window", app.windows()[0], true},
        {"the view inside it", app.walls()[1], true},
        {"the wall's native window", app.windows()[1]->windowHandle(), true},
        {"a text field", &field, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool infoBefore = app.walls()[0]->infoUp();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_I, Qt::NoModifier, "i");
        QCoreApplication::sendEvent(c.target, &press);
        EXPECT_EQ(app.walls()[0]->infoUp(), c.wall ? !infoBefore : infoBefore);
        EXPECT_EQ(app.walls()[1]->infoUp(), app.walls()[0]->infoUp());
        if (auto* widget = qobject_cast<QWidget*>(c.target)) {
            QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(0, 12), QPoint(), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            const bool before = app.walls()[1]->state().heldSlot.has_value();
            QCoreApplication::sendEvent(widget, &wheel);
            if (!c.wall) {
                EXPECT_EQ(app.walls()[1]->state().heldSlot.has_value(), before);
            }
        }
    }
    EXPECT_EQ(field.text(), "i") << "the field got its letter";
}

TEST_F(AppGui, TheIdleTickTriesOncePerIdlePeriodAndNeverWithoutASource) {
    Settings::setMode(Mode::saver);
    Settings::setIdleMinutes(0.05); // 3 s
    Settings::setProducts({"off", "off"});
    auto owned = makeApp();
    App& app = *owned;
    CapturedLog captured;
    idle = 100;
    for (int i = 0; i < 8; ++i) // two seconds of ticks
        app.tick();
    EXPECT_EQ(preferences, 1);
    idle = 0.2; // the user came back: the next idle period tries again
    app.tick();
    idle = 100;
    app.tick();
    app.tick();
    EXPECT_EQ(preferences, 2);
    EXPECT_EQ(count(captured.finish(), "every screen is Off; nothing to show"), 2);

    // A desktop that tells no idle time: only our own windows' input would count, so nothing starts.
    App::Environment blind;
    blind.idle = std::make_shared<NoIdleTime>();
    blind.wallEnvironment = environment().wallEnvironment;
    App unaware(blind);
    EXPECT_FALSE(unaware.hasIdleSource());
    EXPECT_TRUE(app.hasIdleSource());
    Settings::setProducts({"", ""});
    Settings::setIdleMinutes(0.001);
    QThread::msleep(200);
    unaware.tick();
    EXPECT_FALSE(unaware.showing());
    unaware.arm();
    unaware.tick();
    EXPECT_FALSE(unaware.showing());
}
