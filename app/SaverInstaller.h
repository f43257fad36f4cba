#pragma once
// Installs the screen-saver hack the program carries (the folder lib/solvane/Solvane.saver beside it) for
// the user, at $XDG_DATA_HOME/Solvane/Screen Savers/Solvane.saver, and registers it with XScreenSaver.
// Two callers: the launch sequence quietly refreshes an installed copy older than the carried one
// (refreshInstalledSaver); the Preferences button installs on request (installSaver).
// Main thread.

#include "ScreenSaverHost.h"

#include <QString>
#include <memory>
#include <optional>

namespace SaverInstaller {

// ---- Pure rules ----

// A build number as a bundle's CFBundleVersion holds it: an optional sign, then decimal digits only.
// Nothing for anything else, an empty text or a value too large.
std::optional<qint64> parseBuild(const QString& text);

// The build number of a bundle folder: its Info.plist's CFBundleVersion text; 0 when missing or unreadable.
qint64 buildNumber(const QString& bundle);

// ---- Where things are ----

// The installed copy: $XDG_DATA_HOME/Solvane/Screen Savers/Solvane.saver.
QString installed();
// The carried copy beside the program (../lib/solvane/Solvane.saver), when it is there with its executable.
std::optional<QString> bundledSaver();

// Everything the operations below use, so tests can point them at folders of their own.
struct Places {
    std::optional<QString> carried;
    QString installed;
    std::shared_ptr<ScreenSaverHost> host;
};
// The real ones: bundledSaver(), installed(), Platform::screenSaverHost().
Places places();

// ---- Operations ----

// Puts a copy of `source` at `installed`: the parent folder is made if missing, the copy is staged complete
// in a temporary folder beside it and swapped in with one rename, so the installed copy is the old or the
// new one, never a partial one. Then the host is restarted. Nothing on success, else the reason.
std::optional<QString> replaceInstalled(const QString& source, const QString& installed,
                                        ScreenSaverHost& host);

// Makes the host let go of the old code; a failure is only logged.
void restartLegacyScreenSaver(ScreenSaverHost& host);

// At launch: replaces an installed copy whose build number is lower than the carried one, logging
// "screen saver updated from build <old> to <new>"; leaves everything alone when nothing is installed.
void refreshInstalledSaver(const Places& places);

// The Preferences button: installs (or reinstalls) the carried copy, registers it with XScreenSaver, opens
// XScreenSaver's settings, and gives the note to show. Empty when the program carries no saver.
QString installSaver(const Places& places);

} // namespace SaverInstaller
