// Shows the tray menu (as the local menu an XEmbed tray opens), the About box and a window with the main
// menu's Help menu open, and saves a picture of the screen for each: <prefix>-menu.png, -about.png,
// -window.png. Uses the settings and cache of the environment (XDG_CONFIG_HOME, XDG_CACHE_HOME).
// Usage under Xvfb: tray-shot <prefix>

#include "App.h"
#include "Cache.h"
#include "MainMenu.h"
#include "Tray.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

namespace {
void settle(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool shoot(const QString& path) {
    settle(800);
    if (!QGuiApplication::primaryScreen()->grabWindow(0).save(path)) return false;
    std::printf("%s\n", qPrintable(path));
    return true;
}
} // namespace

int main(int argc, char** argv) {
    Cache::seedIfEmpty();
    QApplication application(argc, argv);
    const QString prefix = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString("tray");
    App app;
    Tray tray(app);
    bool drawn = false;
    QObject::connect(&tray, &Tray::statusIconDrawn, [&] { drawn = true; });
    tray.build();
    for (int i = 0; i < 100 && !drawn; ++i)
        settle(100);

    tray.menu()->popup(QPoint(40, 40)); // aboutToShow brings it up to date
    if (!shoot(prefix + "-menu.png")) return 1;
    tray.menu()->hide();

    tray.actions().showAbout();
    if (!shoot(prefix + "-about.png")) return 1;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->inherits("QMessageBox")) window->close();

    MainMenu mainMenu(app, tray.actions());
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel("A window of ours with the main menu"));
    QMenuBar* bar = mainMenu.install(&window);
    window.resize(520, 320);
    window.move(300, 60);
    window.show();
    settle(300);
    for (QAction* menu : bar->actions())
        if (menu->text() == "Help") bar->setActiveAction(menu);
    return shoot(prefix + "-window.png") ? 0 : 1;
}
