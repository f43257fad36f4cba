#include "SaverSetup.h"

#include "Cache.h"
#include "CacheSettings.h"
#include "Log.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <atomic>
#include <mutex>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

// An XDG base folder: the variable when it holds an absolute path, else <home>/<fallback>.
QString baseFolder(const char* variable, const QString& home, const char* fallback) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    return QDir::cleanPath(home + QLatin1Char('/') + QLatin1String(fallback));
}

// Whether setup has run in this process (by run() or by a test calling setup() itself).
std::atomic<bool> done{false};

std::optional<QString> accountHome() {
    // getpwuid_r with a buffer of the size the system suggests; a missing entry or home gives nothing.
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir ||
        !*found->pw_dir)
        return std::nullopt;
    return QString::fromLocal8Bit(found->pw_dir);
}

} // namespace

std::optional<SaverSetup::Folders> SaverSetup::userFolders() {
    const auto home = accountHome();
    if (!home) return std::nullopt;
    return Folders{baseFolder("XDG_CONFIG_HOME", *home, ".config"),
                   baseFolder("XDG_CACHE_HOME", *home, ".cache")};
}

QString SaverSetup::ownSettingsFile(const Folders& folders) {
    return folders.config + QStringLiteral("/") + QLatin1String(Settings::domain) +
           QStringLiteral(".saver.plist");
}

QString SaverSetup::ownCacheFolder(const Folders& folders) {
    return folders.cache + QStringLiteral("/SolvaneSaver");
}

void SaverSetup::setup(const std::optional<Folders>& given) {
    done = true;
    bool appsCache = false;
    if (given) {
        // The saver's own file takes its writes (a refresh of its own cache records lastCheck there); the
        // app's file lies beneath it, read only.
        Settings::d().useFile(ownSettingsFile(*given));
        const QString appSettings =
            given->config + QLatin1Char('/') + QLatin1String(Settings::domain) + QStringLiteral(".plist");
        if (QFileInfo::exists(appSettings) && !Settings::d().registerFallbackFile(appSettings))
            log(QStringLiteral("saver: the app's settings could not be read, using defaults"),
                LogArea::saver);

        // The app's cache is where the app would put it: its cacheHome setting, else <cache>/Solvane.
        const auto home = CacheSettings::cacheHome();
        const QString appCache = QDir::cleanPath(home ? *home : given->cache + QStringLiteral("/Solvane"));
        appsCache = QFileInfo(appCache + QStringLiteral("/manifest.json")).isReadable();
        Cache::setDir(appsCache ? appCache : ownCacheFolder(*given));
    } else {
        // No account home: nothing of the app's can be found, so the saver keeps to itself.
        const QString config = SettingsStore::configHome();
        QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        if (cache.isEmpty()) cache = QDir::homePath() + QStringLiteral("/.cache");
        const Folders own{config, cache};
        Settings::d().useFile(ownSettingsFile(own));
        Cache::setDir(ownCacheFolder(own));
    }
    Cache::setReadOnly(appsCache);
    if (!appsCache) Cache::seedIfEmpty();
    log(QStringLiteral("saver: cache ") + Cache::dir() +
            (appsCache ? QStringLiteral(" (the app's, read-only)") : QString()),
        LogArea::saver);
}

void SaverSetup::run() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!done) setup(userFolders());
    });
}
