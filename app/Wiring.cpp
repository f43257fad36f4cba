#include "Wiring.h"

#include "App.h"
#include "AppParts.h"
#include "DesktopManager.h"
#include "LiveDesktop.h"
#include "Log.h"
#include "MainMenu.h"
#include "MiniPlayer.h"
#include "Preferences.h"
#include "SaverInstaller.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "Tray.h"
#include "Updater.h"
#include "Welcome.h"

#include <QCoreApplication>

namespace {
// The updater installs into a per-user install only; a package manager's copy is only told of updates.
void wireUpdater(App& app, AppParts& parts) {
    Updater::Environment environment;
    environment.install = UserInstall::of(QCoreApplication::applicationFilePath());
    auto* updater = new Updater(std::move(environment), &app);
    updater->when = [&app, &parts] {
        return updateMoment(true, Settings::d().boolean(Settings::Key::installUpdatesNow), Settings::mode(),
                            app.showing(), parts.preferencesVisible && parts.preferencesVisible());
    };
    parts.startUpdater = [updater] { updater->start(); };
    parts.checkForUpdates = [updater] { updater->checkNow(); };
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, updater, &Updater::installOnQuit);
}
} // namespace

void wireAppParts(App& app, AppParts& parts) {
    // Each module adds its line here as it lands.
    wireUpdater(app, parts);
    parts.refreshInstalledSaver = [] { SaverInstaller::refreshInstalledSaver(SaverInstaller::places()); };
    parts.installSaver = [] { return SaverInstaller::installSaver(SaverInstaller::places()); };
    // A person's desktop is theirs: until they have chosen a mode, neither the picture nor the live
    // desktop changes (the defaults alone are no consent).
    parts.applyDesktopPicture = [] {
        if (Settings::configured())
            Desktop::apply();
        else
            log("desktop: no mode chosen yet, the desktop picture is left alone", LogArea::desktop);
    };
    parts.restoreDesktopPicture = [] { Desktop::restore(); };
    parts.followDesktopPicture = [] {
        if (Settings::configured()) Desktop::apply(Desktop::Step::stay);
    };
    parts.syncLiveDesktop = [] {
        if (Settings::configured()) LiveDesktop::shared().sync();
    };

    // The Preferences, welcome and mini-player windows live as long as the controller.
    auto* preferences = new Preferences(app);
    preferences->setParent(&app);
    auto* welcome = new Welcome(*preferences, app);
    welcome->setParent(&app);
    auto* miniPlayer = new MiniPlayer();
    miniPlayer->setParent(&app);
    parts.showPreferences = [preferences] { preferences->open(); };
    parts.hidePreferences = [preferences] { preferences->hide(); };
    parts.showWelcome = [welcome] { welcome->show(); };
    parts.toggleMiniPlayer = [miniPlayer] { miniPlayer->toggle(); };
    parts.sunShownElsewhere = [miniPlayer] {
        return miniPlayer->isOpen() || LiveDesktop::shared().running();
    };

    auto* tray = new Tray(app, {}, &app);
    auto* mainMenu = new MainMenu(app, tray->actions(), &app);
    parts.buildStatusItem = [tray] { tray->build(); };
    parts.statusChanged = [tray] { tray->menuNeedsUpdate(); };
    parts.installMainMenu = [mainMenu](QWidget* window) { mainMenu->install(window); };
    // Every window of ours that can be active carries the main menu: Preferences and the welcome
    // window as a bar, the small mini player through its keys and a right click.
    mainMenu->install(preferences->window());
    welcome->onWindowMade = [mainMenu](QWidget* window) { mainMenu->install(window); };
    miniPlayer->onWindowMade = [mainMenu](QWidget* window) { mainMenu->attach(window); };
    parts.fillMissing();
}
