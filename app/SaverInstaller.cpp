#include "SaverInstaller.h"

#include "Log.h"
#include "Platform.h"
#include "SettingsStore.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>

namespace {

const QString bundleName = QStringLiteral("Solvane.saver");
const QString executableName = QStringLiteral("solvane-saver");

QString why(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString executableFolder() {
    // /proc/self/exe works before (and without) a QCoreApplication.
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

// Swaps two paths in one step; where the file system cannot (RENAME_EXCHANGE is refused), moves the
// old one aside and the new one in, and puts the old one back if that fails.
std::optional<QString> swap(const QString& staged, const QString& installed, const QString& aside) {
    const QByteArray from = QFile::encodeName(staged), to = QFile::encodeName(installed);
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0)
        return std::nullopt;
    if (errno != EINVAL && errno != ENOSYS)
        return QStringLiteral("could not swap in the new copy: ") + why(errno);
    const QByteArray away = QFile::encodeName(aside);
    if (std::rename(to.constData(), away.constData()) != 0)
        return QStringLiteral("could not move the old copy aside: ") + why(errno);
    if (std::rename(from.constData(), to.constData()) != 0) {
        const int error = errno;
        std::rename(away.constData(), to.constData());
        return QStringLiteral("could not move the new copy in: ") + why(error);
    }
    return std::nullopt;
}

// Links in the carried folder are copied as links that point where the carried ones do: the portable
// build's saver finds its libraries through one (lib -> ../..), which from the copy must name the build's
// own folder. A link to nothing makes the copy fail, as it would not run.
std::optional<QString> pointLinksBack(const QString& source, const QString& copy) {
    QDirIterator entries(copy, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        if (!QFileInfo(path).isSymLink()) continue;
        const QFileInfo carried(source + path.mid(copy.size()));
        if (!carried.exists())
            return QStringLiteral("could not copy ") + carried.filePath() +
                   QStringLiteral(": it links to nothing");
        if (!QFile::remove(path) || !QFile::link(carried.symLinkTarget(), path))
            return QStringLiteral("could not link ") + path;
    }
    return std::nullopt;
}

} // namespace

std::optional<qint64> SaverInstaller::parseBuild(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-'))) {
        negative = text[0] == QLatin1Char('-');
        i = 1;
    }
    if (i >= text.size()) return std::nullopt;
    // Accumulate towards the negative side, which holds one more value than the positive.
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        const int digit = c.unicode() - '0';
        if (value < (std::numeric_limits<qint64>::min() + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative) return value;
    if (value == std::numeric_limits<qint64>::min()) return std::nullopt;
    return -value;
}

qint64 SaverInstaller::buildNumber(const QString& bundle) {
    const auto info = SettingsStore::readDictionary(bundle + QStringLiteral("/Info.plist"));
    if (!info) return 0;
    const QVariant value = info->value(QStringLiteral("CFBundleVersion"));
    if (value.typeId() != QMetaType::QString) return 0;
    return parseBuild(value.toString()).value_or(0);
}

QString SaverInstaller::installed() {
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/Solvane/Screen Savers/") + bundleName;
}

std::optional<QString> SaverInstaller::bundledSaver() {
    const QString bundle =
        QDir::cleanPath(executableFolder() + QStringLiteral("/../lib/solvane/") + bundleName);
    if (!QFileInfo(bundle + QLatin1Char('/') + executableName).isExecutable()) return std::nullopt;
    return bundle;
}

SaverInstaller::Places SaverInstaller::places() {
    return Places{bundledSaver(), installed(), Platform::screenSaverHost()};
}

std::optional<QString> SaverInstaller::replaceInstalled(const QString& source, const QString& installed,
                                                        ScreenSaverHost& host) {
    const QString parent = QFileInfo(installed).absolutePath();
    if (!QDir().mkpath(parent)) return QStringLiteral("could not create ") + parent;

    // Staged beside the installed copy, so the swap is a rename on one file system.
    QTemporaryDir staging(parent + QStringLiteral("/.") + bundleName + QStringLiteral("-XXXXXX"));
    if (!staging.isValid()) return QStringLiteral("could not make a staging folder in ") + parent;
    const QString staged = staging.filePath(QFileInfo(source).fileName());
    std::error_code error;
    std::filesystem::copy(
        QFile::encodeName(source).toStdString(), QFile::encodeName(staged).toStdString(),
        std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks, error);
    if (error)
        return QStringLiteral("could not copy ") + source + QStringLiteral(": ") +
               QString::fromLocal8Bit(error.message().c_str());
    if (auto failure = pointLinksBack(source, staged)) return failure;

    if (!QFileInfo::exists(installed) && !QFileInfo(installed).isSymLink()) {
        if (std::rename(QFile::encodeName(staged).constData(), QFile::encodeName(installed).constData()) != 0)
            return QStringLiteral("could not move the copy in: ") + why(errno);
    } else if (const auto failure = swap(staged, installed, staging.filePath(QStringLiteral("old")))) {
        return failure;
    }
    // The old copy now lies in the staging folder, which goes with it.
    restartLegacyScreenSaver(host);
    return std::nullopt;
}

void SaverInstaller::restartLegacyScreenSaver(ScreenSaverHost& host) {
    host.restart();
}

void SaverInstaller::refreshInstalledSaver(const Places& places) {
    if (!places.carried || !places.host) return;
    if (!QFileInfo::exists(places.installed)) return;
    const qint64 old = buildNumber(places.installed);
    const qint64 carried = buildNumber(*places.carried);
    if (old >= carried) return;
    if (const auto failure = replaceInstalled(*places.carried, places.installed, *places.host)) {
        log(QStringLiteral("could not update the installed screen saver: ") + *failure, LogArea::app);
        return;
    }
    log(QStringLiteral("screen saver updated from build ") + QString::number(old) + QStringLiteral(" to ") +
            QString::number(carried),
        LogArea::app);
}

QString SaverInstaller::installSaver(const Places& places) {
    if (!places.carried || !places.host) {
        log(QStringLiteral("saver: this copy of Solvane carries no screen saver"), LogArea::saver);
        return {};
    }
    if (const auto failure = replaceInstalled(*places.carried, places.installed, *places.host))
        return QStringLiteral("Could not install: ") + *failure;
    const QString program = places.installed + QLatin1Char('/') + executableName;
    if (const auto failure = places.host->registerHack(QStringLiteral("Solvane"), program))
        return QStringLiteral("Could not install: ") + *failure;
    if (!places.host->isDesktopsSaver())
        return QStringLiteral(
            "Installed for XScreenSaver, which this desktop does not run: choose Screen Saver "
            "as Solvane's mode to use it as the screen saver.");
    places.host->openSettings();
    return QStringLiteral("Installed. In XScreenSaver's settings, pick Solvane.");
}
