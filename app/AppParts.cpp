#include "AppParts.h"

#include "Log.h"

namespace {
void stub(std::function<void()>& member, const char* part) {
    if (member) return;
    member = [part] { log(QString::fromLatin1(part) + ": not in this version", LogArea::app); };
}

// For calls made in passing (state changes, taking a window off screen): nothing to say when absent.
void quiet(std::function<void()>& member) {
    if (!member) member = [] {};
}
} // namespace

void AppParts::fillMissing() {
    stub(buildStatusItem, "tray");
    quiet(statusChanged);
    if (!installMainMenu) installMainMenu = [](QWidget*) {};
    stub(showPreferences, "preferences");
    quiet(hidePreferences);
    if (!preferencesVisible) preferencesVisible = [] { return false; };
    stub(showWelcome, "welcome");
    stub(toggleMiniPlayer, "mini player");
    stub(applyDesktopPicture, "desktop picture");
    stub(restoreDesktopPicture, "desktop picture");
    stub(syncLiveDesktop, "live desktop");
    if (!sunShownElsewhere) sunShownElsewhere = [] { return false; };
    quiet(followDesktopPicture);
    stub(startUpdater, "updates");
    stub(checkForUpdates, "updates");
    stub(refreshInstalledSaver, "saver installer");
    if (!installSaver)
        installSaver = [] {
            log("saver installer: not in this version", LogArea::app);
            return QString();
        };
}
