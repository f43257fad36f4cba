#pragma once
// The saver's one-time setup: which settings and which cache a hack process uses. The hack runs as the
// user inside XScreenSaver, so it reads the app's settings file beneath a file of its own (it never writes
// the app's) and plays the app's cache read-only when the app has one; otherwise it keeps, seeds and
// refreshes a cache of its own.

#include <QString>
#include <optional>

namespace SaverSetup {

// The user's settings and cache folders.
struct Folders {
    QString config; // $XDG_CONFIG_HOME, else <home>/.config
    QString cache;  // $XDG_CACHE_HOME, else <home>/.cache
};

// The folders of the account running the hack, built on its home in the user database (not $HOME, which
// a host may have pointed elsewhere); nothing when the account has no home there.
std::optional<Folders> userFolders();

// The settings file the saver writes to, and its own cache folder (used when the app has no cache).
QString ownSettingsFile(const Folders& folders);
QString ownCacheFolder(const Folders& folders);

// Sets up settings and cache from `folders` and logs "saver: cache <folder>", with " (the app's,
// read-only)" when it took the app's. Without folders the saver runs on its own defaults and cache.
// Callable again, for tests; the program goes through run().
void setup(const std::optional<Folders>& folders);

// setup(userFolders()), once per process, whoever asks first, unless setup already ran. Thread-safe.
void run();

} // namespace SaverSetup
