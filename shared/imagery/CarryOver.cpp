#include "CarryOver.h"

#include "Cache.h"
#include "Log.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace {

QString standardised(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(path).absolutePath()) : canonical;
}

void copyCache(const QString& from, const QString& to, CarryOver::Report& report) {
    if (standardised(from) == standardised(to)) return;
    if (!QFileInfo(from).exists()) return;
    DIR* listing = ::opendir(QFile::encodeName(from).constData());
    if (!listing) {
        log(QStringLiteral("carry-over: cannot list ") + from + QStringLiteral(": ") +
                QString::fromLocal8Bit(std::strerror(errno)),
            LogArea::cache);
        return;
    }
    QStringList names;
    while (dirent* entry = ::readdir(listing))
        names << QFile::decodeName(entry->d_name);
    ::closedir(listing);
    for (const QString& name : names) {
        if (name.startsWith(QLatin1Char('.')) || name.endsWith(QLatin1String(".tmp"))) continue;
        const QFileInfo source(from + QLatin1Char('/') + name);
        if (!source.exists() || source.isDir()) continue;
        const QString target = to + QLatin1Char('/') + name;
        if (QFileInfo(target).exists() || QFileInfo(target).isSymLink()) {
            ++report.filesSkipped;
            continue;
        }
        QFile file(source.filePath());
        if (file.copy(target)) {
            ++report.filesCopied;
        } else {
            ++report.filesSkipped;
            log(QStringLiteral("carry-over: could not copy ") + name + QStringLiteral(": ") +
                    file.errorString(),
                LogArea::cache);
        }
    }
}

} // namespace

QString CarryOver::defaultOldCache(const QString& beside) {
    const QString folder = QDir::cleanPath(beside);
    return QDir::cleanPath(QFileInfo(folder).path() + QStringLiteral("/Corvane"));
}

CarryOver::Report CarryOver::run(SettingsStore* settings, const QString& oldSuite,
                                 const std::optional<QString>& cache,
                                 const std::optional<QString>& oldCache) {
    SettingsStore& store = settings ? *settings : Settings::d();
    Report report;
    if (store.has(Settings::Key::migratedFromCorvane)) return report;
    report.ran = true;

    // The old domain is a property-list file like ours; a missing one is simply empty.
    const QString oldFile = SettingsStore::fileFor(oldSuite);
    QString error;
    std::optional<QVariantMap> old;
    if (QFileInfo::exists(oldFile)) {
        old = SettingsStore::readDictionary(oldFile, &error);
        if (!old)
            log(QStringLiteral("carry-over: cannot open the old defaults domain ") + oldSuite, LogArea::app);
    } else {
        old = QVariantMap();
    }
    if (old) {
        for (Settings::Key key : keys) {
            const QString raw = Settings::rawValue(key);
            if (!old->contains(raw) || store.has(raw)) continue;
            store.set(raw, old->value(raw));
            report.keysCopied << raw;
        }
    }

    const QString folder = cache ? *cache : Cache::dir();
    copyCache(oldCache ? *oldCache : defaultOldCache(folder), folder, report);

    store.set(Settings::Key::migratedFromCorvane, true);
    log(QStringLiteral("carry-over from Corvane: %1 settings, %2 cache files copied, %3 skipped")
            .arg(report.keysCopied.size())
            .arg(report.filesCopied)
            .arg(report.filesSkipped),
        LogArea::cache);
    return report;
}
