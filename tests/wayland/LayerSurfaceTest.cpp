// The mini player as an overlay in the output's top-right corner (also at scale 2), the live desktop in
// the bottom layer below an ordinary window and paused while a full-screen window covers its output, the
// desktop picture in the background layer until it is taken away, on sway (see LayerMain.cpp).

#include "Cache.h"
#include "HeadlessCompositor.h"
#include "LayerDesktopPicture.h"
#include "LiveDesktop.h"
#include "MiniPlayer.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestSupport.h"
#include "WaylandLayerSurface.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

extern HeadlessSway* layerSway;

namespace {
constexpr int slowMs = 60000;
const QRgb background = qRgb(0x20, 0x30, 0x40);

bool spinUntil(const std::function<bool()>& done, int timeoutMs = slowMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// The share of sampled pixels in `area` that are not sway's plain background.
double ours(const QImage& image, const QRect& area) {
    int differing = 0, all = 0;
    for (int y = area.top(); y <= area.bottom(); y += 4)
        for (int x = area.left(); x <= area.right(); x += 4, ++all)
            if ((image.pixel(x, y) & 0xffffff) != (background & 0xffffff)) ++differing;
    return all ? double(differing) / all : 0;
}

class LayerSurfaces : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Settings::d().useFile(dir.filePath("settings.plist"));
        Cache::setReadOnly(false);
        Cache::setDir(dir.filePath("cache"));
        Cache::seedIfEmpty();
        ASSERT_TRUE(WaylandLayerSurface::available()) << "sway offers zwlr_layer_shell_v1";
    }
    QTemporaryDir dir;
};
} // namespace

TEST_F(LayerSurfaces, TheMiniPlayerIsAnOverlayInTheTopRightCornerOfTheFirstOutput) {
    MiniPlayer player([](bool) { return true; });
    player.toggle();
    ASSERT_TRUE(player.layer());
    EXPECT_FALSE(player.window()->isVisible()) << "no ordinary window: sway would tile it";
    ASSERT_TRUE(spinUntil([&] { return player.layer()->frames() > 10; }));
    EXPECT_EQ(player.layer()->size(), QSize(320, 180));
    QImage shot;
    const QRect corner(1280 - 24 - 320, 24, 320, 180);
    ASSERT_TRUE(spinUntil([&] {
        shot = layerSway->screenshot("HEADLESS-1", shotPath(dir.path(), "sway-mini-player.png"));
        return !shot.isNull() && ours(shot, corner.adjusted(4, 4, -4, -4)) > 0.99;
    })) << "the player is not in the corner";
    EXPECT_LT(ours(shot, QRect(0, 300, 1280, 420)), 0.01) << "the player spilled out of its corner";
    EXPECT_TRUE(layerSway->views("solvane").empty()) << "a layer surface is no window of sway's";
    player.toggle();
    EXPECT_FALSE(player.layer());
}

TEST_F(LayerSurfaces, OnAScaledOutputTheMiniPlayerKeepsItsPlaceAndTheOutputsPixels) {
    QScreen* first = QGuiApplication::screens().at(0);
    ASSERT_EQ(layerSway->swaymsg({"output", "HEADLESS-1", "scale", "2"}).status, 0);
    ASSERT_TRUE(spinUntil([&] { return first->devicePixelRatio() == 2.0; }));
    {
        MiniPlayer player([](bool) { return true; });
        player.toggle();
        ASSERT_TRUE(player.layer());
        ASSERT_TRUE(spinUntil([&] { return player.layer()->frames() > 5; }));
        EXPECT_EQ(player.layer()->size(), QSize(320, 180)) << "logical pixels, as on an unscaled output";
        // The output keeps its 1280 x 720 pixels (640 x 360 logical): the player has 640 x 360 of them,
        // its margin 48.
        QImage shot;
        const QRect corner(1280 - 2 * (24 + 320), 2 * 24, 2 * 320, 2 * 180);
        EXPECT_TRUE(spinUntil([&] {
            shot = layerSway->screenshot("HEADLESS-1", shotPath(dir.path(), "sway-mini-player-scale2.png"));
            return ours(shot, corner.adjusted(4, 4, -4, -4)) > 0.99;
        }));
        EXPECT_LT(ours(shot, QRect(0, 440, 1280, 280)), 0.01) << "the player spilled out of its corner";
    }
    ASSERT_EQ(layerSway->swaymsg({"output", "HEADLESS-1", "scale", "1"}).status, 0);
    ASSERT_TRUE(
        spinUntil([&] { return first->devicePixelRatio() == 1.0 && first->geometry().width() == 1280; }));
}

TEST_F(LayerSurfaces, TheLiveDesktopFillsEachOutputBelowAnOrdinaryWindow) {
    Settings::setMode(Mode::desktop);
    Settings::setLiveDesktop(true);
    LiveDesktop& live = LiveDesktop::shared();
    live.sync();
    ASSERT_EQ(live.pairs().size(), 2u);
    for (const auto& pair : live.pairs()) {
        ASSERT_TRUE(pair.layer);
        EXPECT_FALSE(pair.window->isVisible());
    }
    ASSERT_TRUE(spinUntil(
        [&] { return live.pairs()[0].layer->frames() > 10 && live.pairs()[1].layer->frames() > 10; }));

    // An ordinary window, magenta, floating in the middle of the first output.
    QWidget window;
    window.setWindowTitle("solvane-test-window");
    window.setStyleSheet("background: magenta;");
    window.resize(400, 300);
    window.show();
    std::vector<HeadlessSway::View> views;
    ASSERT_TRUE(spinUntil([&] {
        views = layerSway->views("");
        return views.size() == 1 && views[0].node["rect"].toObject()["width"].toInt() == 400;
    })) << QJsonDocument(layerSway->tree()).toJson().constData();
    const QJsonObject rect = views[0].node["rect"].toObject();
    const QRect at(rect["x"].toInt(), rect["y"].toInt(), rect["width"].toInt(), rect["height"].toInt());

    QImage first, second;
    ASSERT_TRUE(spinUntil([&] {
        first = layerSway->screenshot("HEADLESS-1", shotPath(dir.path(), "sway-live-below-window.png"));
        second = layerSway->screenshot("HEADLESS-2", shotPath(dir.path(), "sway-live-second.png"));
        return !first.isNull() && !second.isNull() && ours(second, second.rect()) > 0.99 &&
               first.pixel(at.center()) == qRgb(255, 0, 255);
    })) << "window centre "
        << std::hex << (first.isNull() ? 0 : first.pixel(at.center()));
    // Outside the window the Sun plays; inside it nothing of ours shows through.
    EXPECT_GT(ours(first, QRect(0, 0, 1280, at.top() - 1)), 0.99);
    int magenta = 0, all = 0;
    for (int y = at.top() + 2; y < at.bottom() - 2; y += 8)
        for (int x = at.left() + 2; x < at.right() - 2; x += 8, ++all)
            if (first.pixel(x, y) == qRgb(255, 0, 255)) ++magenta;
    EXPECT_EQ(magenta, all) << "the live desktop drew over the window";
    window.hide();

    Settings::setLiveDesktop(false);
    live.sync();
    EXPECT_TRUE(live.pairs().empty());
}

TEST_F(LayerSurfaces, TheLiveDesktopPausesWhileAFullScreenWindowCoversItsOutput) {
    Settings::setMode(Mode::desktop);
    Settings::setLiveDesktop(true);
    LiveDesktop& live = LiveDesktop::shared();
    CapturedLog log;
    live.sync();
    ASSERT_EQ(live.pairs().size(), 2u);
    const auto paused = [&](size_t i) { return live.pairs()[i].wall->state().policyPaused; };
    ASSERT_FALSE(paused(0));

    QWidget window;
    window.setWindowTitle("solvane-covering-window");
    window.setStyleSheet("background: magenta;");
    window.setScreen(QGuiApplication::screens().at(0));
    window.showFullScreen();
    EXPECT_TRUE(spinUntil([&] { return paused(0); })) << "sway's tree says the first output is covered";
    EXPECT_FALSE(paused(1)) << "the second output stays uncovered";
    window.hide();
    EXPECT_TRUE(spinUntil([&] { return !paused(0); })) << "the window went";

    Settings::setLiveDesktop(false);
    live.sync();
    const QString text = QString::fromUtf8(log.finish());
    const QString name = QGuiApplication::screens().at(0)->name();
    EXPECT_TRUE(text.contains("live desktop: " + name + " paused")) << text.toStdString();
    EXPECT_TRUE(text.contains("live desktop: " + name + " playing")) << text.toStdString();
    EXPECT_FALSE(text.contains(QGuiApplication::screens().at(1)->name() + " paused")) << text.toStdString();
}

TEST_F(LayerSurfaces, TheDesktopPictureLiesOverTheWallpaperGivesWayToTheLiveDesktopAndGoesWhenTakenAway) {
    QImage still(160, 90, QImage::Format_RGB32);
    still.fill(Qt::red);
    ASSERT_TRUE(still.save(dir.filePath("still.png")));
    const QUrl url = QUrl::fromLocalFile(dir.filePath("still.png"));
    std::vector<DesktopScreen> screens;
    for (QScreen* screen : QGuiApplication::screens())
        screens.push_back({screen->name(), screen->geometry()});
    ASSERT_EQ(screens.size(), 2u);
    LayerDesktopPicture desktop;
    const auto answers =
        desktop.set(screens, {{0, url, PictureFit::fitOnBlack}, {1, url, PictureFit::fitOnBlack}});
    EXPECT_EQ(answers, std::vector<std::optional<QString>>(2));
    const auto center = [&](const QString& output) {
        const QImage shot = layerSway->screenshot(output, shotPath(dir.path(), "layer-" + output + ".png"));
        return shot.isNull() ? QRgb(0) : shot.pixel(640, 360);
    };
    EXPECT_TRUE(spinUntil([&] { return center(screens[0].name) == qRgb(255, 0, 0); }));
    // The live desktop plays in the still's place, and the still comes back when it stops.
    Settings::setMode(Mode::desktop);
    Settings::setLiveDesktop(true);
    LiveDesktop::shared().sync();
    EXPECT_TRUE(spinUntil([&] { return center(screens[0].name) != qRgb(255, 0, 0); }));
    Settings::setLiveDesktop(false);
    LiveDesktop::shared().sync();
    EXPECT_TRUE(spinUntil([&] { return center(screens[0].name) == qRgb(255, 0, 0); }));
    // A recorded picture put back on one screen takes ours away there; the release takes the rest.
    desktop.set(screens, {{0, QUrl("file:///home/me/own.jpg"), PictureFit::asRecorded}});
    EXPECT_EQ(desktop.showing(), QStringList{screens[1].name});
    EXPECT_TRUE(spinUntil([&] { return center(screens[0].name) == background; }));
    EXPECT_TRUE(spinUntil([&] { return center(screens[1].name) == qRgb(255, 0, 0); }));
    desktop.release();
    EXPECT_TRUE(desktop.showing().isEmpty());
    EXPECT_TRUE(spinUntil([&] { return center(screens[1].name) == background; }));
}
