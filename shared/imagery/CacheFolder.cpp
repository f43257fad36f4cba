// The cache folder and its documents: manifest, last-pass record, notes and the first-run seed.
#include "Cache.h"

#include "CacheSettings.h"
#include "Catalog.h"
#include "Log.h"
#include "PassLock.h"
#include "Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>
#include <QStandardPaths>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex folderMutex;
std::optional<QString> chosenFolder;
// The last record this process could not write (a full disk), with its folder: until a record is
// written again, it is the truth about the last pass for the Preferences and the tray.
std::mutex unsavedMutex;
std::optional<std::pair<QString, Cache::LastPass>> unsavedPass;
std::atomic<bool> readOnlyFlag{false};

QString defaultFolder() {
    QString caches = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (caches.isEmpty()) caches = QDir::homePath() + QStringLiteral("/.cache");
    return caches + QStringLiteral("/Solvane");
}

QString systemError(int number) {
    return QString::fromLocal8Bit(std::strerror(number));
}

const QByteArray tagText = "Signature: 8a477f597d28d172789f06886806bc55\n"
                           "# This file is a cache directory tag created by Solvane.\n"
                           "# For information about cache directory tags, see https://bford.info/cachedir/\n";

// Created exclusively, so processes tagging at once never trip over each other's temporary files; the
// tag's meaning is in its first line, so even a cut-short tag does its job.
void tag(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + QLatin1String(Cache::tagFileName));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno != EEXIST)
            log(QStringLiteral("cache: could not tag ") + folder + QStringLiteral(": ") +
                    QString::fromLocal8Bit(std::strerror(errno)),
                LogArea::cache);
        return;
    }
    const bool written = ::write(fd, tagText.constData(), size_t(tagText.size())) == tagText.size();
    if (::close(fd) != 0 || !written)
        log(QStringLiteral("cache: could not tag ") + folder +
                QStringLiteral(": the tag could not be written"),
            LogArea::cache);
}

// Makes every missing folder on the way, so a failure carries the system's own reason; a folder we make
// is tagged as a cache at once.
void create(const QString& folder) {
    const bool existed = QFileInfo(folder).isDir();
    const QByteArray path = QFile::encodeName(folder);
    QString why;
    for (qsizetype end = 1; end <= path.size() && why.isEmpty(); ++end) {
        if (end < path.size() && path[end] != '/') continue;
        if (::mkdir(path.left(end).constData(), 0777) != 0 && errno != EEXIST) why = systemError(errno);
    }
    struct stat info {};
    if (why.isEmpty() && ::stat(path.constData(), &info) != 0) why = systemError(errno);
    if (why.isEmpty() && !S_ISDIR(info.st_mode)) why = systemError(ENOTDIR);
    if (!why.isEmpty())
        log(QStringLiteral("cache: could not create ") + folder + QStringLiteral(": ") + why, LogArea::cache);
    else if (!existed)
        tag(folder);
}

// A plain byte copy; false with the system's reason in `error`.
bool copyFile(const QString& from, const QString& to, QString& error) {
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = systemError(errno);
        return false;
    }
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        error = systemError(errno);
        ::close(in);
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = systemError(errno);
        if (got <= 0) break;
        for (ssize_t done = 0; done < got && error.isEmpty();) {
            const ssize_t put = ::write(out, buffer + done, size_t(got - done));
            if (put < 0 && errno != EINTR) error = systemError(errno);
            if (put > 0) done += put;
        }
        if (!error.isEmpty()) break;
    }
    ::close(in);
    if (::close(out) != 0 && error.isEmpty()) error = systemError(errno);
    return error.isEmpty();
}

// JSON with sorted keys (QJsonObject keeps its keys sorted), indented, slashes unescaped.
QByteArray pretty(const QJsonDocument& document) {
    return document.toJson(QJsonDocument::Indented);
}

std::optional<QString> readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromUtf8(file.readAll()).trimmed();
}

void writeManifest(const std::vector<CacheEntry>& entries) {
    QJsonArray array;
    for (const CacheEntry& entry : entries)
        array.append(entry.toJson());
    const QByteArray bytes = pretty(QJsonDocument(array));
    if (bytes.isEmpty()) {
        log(QStringLiteral("manifest not written, could not encode it: empty output"), LogArea::cache);
        return;
    }
    QString error;
    if (!Cache::writeAtomically(Cache::file(QStringLiteral("manifest.json")), bytes, &error))
        log(QStringLiteral("manifest not written, the old one stays: ") + error, LogArea::cache);
}

} // namespace

QString Cache::dir() {
    std::lock_guard lock(folderMutex);
    if (!chosenFolder) {
        const auto home = CacheSettings::cacheHome();
        chosenFolder = QDir::cleanPath(home ? *home : defaultFolder());
        create(*chosenFolder);
    }
    return *chosenFolder;
}

void Cache::setDir(const QString& folder) {
    std::lock_guard lock(folderMutex);
    chosenFolder = QDir::cleanPath(folder);
    create(*chosenFolder);
}

bool Cache::claimFolder() {
    const QString folder = dir();
    if (QFileInfo::exists(file(QLatin1String(tagFileName)))) return true;
    bool ours = QFileInfo::exists(file(QStringLiteral("manifest.json")));
    if (!ours) {
        // Our own lock file alone does not make a folder someone else's.
        const QStringList present =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        ours = present.isEmpty() || present == QStringList{QLatin1String(PassLock::fileName)};
    }
    if (!ours) {
        // Once per folder and process: every later pass would only repeat it.
        static std::mutex loggedMutex;
        static QString logged;
        std::lock_guard lock(loggedMutex);
        if (logged == folder) return false;
        logged = folder;
        log(QStringLiteral("cache: ") + folder +
                QStringLiteral(" holds files that are not ours (no CACHEDIR.TAG, no manifest.json); "
                               "not pruning or writing there"),
            LogArea::cache);
        return false;
    }
    tag(folder);
    return true;
}

bool Cache::readOnly() {
    return readOnlyFlag.load();
}

void Cache::setReadOnly(bool value) {
    readOnlyFlag.store(value);
}

QString Cache::file(const QString& name) {
    return dir() + QLatin1Char('/') + name;
}

bool Cache::writeAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    const QString temporary = path + QStringLiteral(".tmp");
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        QFile::remove(temporary);
        return false;
    };
    QFile out(temporary);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return fail(out.errorString());
    if (out.write(bytes) != bytes.size()) return fail(out.errorString());
    if (!out.flush()) return fail(out.errorString());
    out.close();
    // rename(2) replaces the old file in one step: a reader sees the old or the new one, never half.
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

bool Cache::note(const QString& text, const QString& path) {
    // A revalidation rewrites the same key again and again: leave an identical file alone.
    if (QFile current(path); current.open(QIODevice::ReadOnly) && current.size() == text.toUtf8().size() &&
                             current.readAll() == text.toUtf8())
        return true;
    QString error;
    if (writeAtomically(path, text.toUtf8(), &error)) return true;
    log(QStringLiteral("could not write ") + QFileInfo(path).fileName() + QStringLiteral(": ") + error,
        LogArea::cache);
    return false;
}

std::vector<CacheEntry> Cache::entries() {
    QFile manifest(file(QStringLiteral("manifest.json")));
    if (!manifest.open(QIODevice::ReadOnly)) return {};
    QString error;
    auto listed = CacheEntry::list(manifest.readAll(), &error);
    if (!listed) {
        log(QStringLiteral("manifest unreadable: ") + error, LogArea::cache);
        return {};
    }
    std::vector<CacheEntry> kept;
    for (CacheEntry& entry : *listed) {
        if (entry.video.isEmpty() || !QFileInfo(file(entry.video)).isFile()) continue;
        if (entry.still && (entry.still->isEmpty() || !QFileInfo(file(*entry.still)).isFile()))
            entry.still.reset();
        kept.push_back(std::move(entry));
    }
    return kept;
}

int Cache::count() {
    return int(entries().size());
}

bool Cache::isPrimed() {
    return QFileInfo::exists(file(QStringLiteral("manifest.json")));
}

void Cache::rewriteManifest(const std::optional<std::vector<RemoteProduct>>& products) {
    QHash<QString, const RemoteProduct*> listed;
    if (products)
        for (const RemoteProduct& product : *products)
            listed.insert(product.id, &product);
    QHash<QString, CacheEntry> previous;
    for (CacheEntry& entry : entries())
        previous.insert(entry.id, std::move(entry));

    std::vector<CacheEntry> rebuilt;
    for (const CatalogProduct& known : Catalog::all()) {
        const QString& id = known.id;
        if (!QFileInfo(file(id + QStringLiteral(".mp4"))).isFile()) continue;
        const CacheEntry* before = previous.contains(id) ? &previous[id] : nullptr;
        const RemoteProduct* product = listed.value(id, nullptr);
        CacheEntry entry;
        entry.id = id;
        entry.video = id + QStringLiteral(".mp4");
        if (auto stamp = readText(file(id + QStringLiteral(".stamp"))))
            entry.updated = *stamp;
        else if (before)
            entry.updated = before->updated;
        else
            continue; // no record of when this clip is from
        if (product)
            entry.label = product->label.value_or(product->id);
        else
            entry.label = before ? before->label : known.label;
        if (QFileInfo(file(id + QStringLiteral(".png"))).isFile()) {
            entry.still = id + QStringLiteral(".png");
            entry.stillUpdated = readText(file(id + QStringLiteral(".png.stamp")));
        }
        // Clip details belong to one clip: take them only from a record of this very clip.
        if (product && product->updated == entry.updated) {
            entry.frameCount = product->frameCount;
            entry.integration = product->integration;
        } else if (before && before->updated == entry.updated) {
            entry.frameCount = before->frameCount;
            entry.integration = before->integration;
        }
        rebuilt.push_back(std::move(entry));
    }
    if (rebuilt.empty()) {
        log(QStringLiteral("nothing on disk to list; keeping the existing manifest"), LogArea::cache);
        return;
    }
    writeManifest(rebuilt);
}

void Cache::recordPass(const LastPass& pass) {
    if (readOnly()) return;
    QString error;
    const bool written =
        writeAtomically(file(QStringLiteral("lastpass.json")), pretty(QJsonDocument(pass.toJson())), &error);
    if (!written) log(QStringLiteral("could not write lastpass.json: ") + error, LogArea::cache);
    std::lock_guard lock(unsavedMutex);
    if (written)
        unsavedPass.reset();
    else
        unsavedPass = std::pair{dir(), pass};
}

std::optional<Cache::LastPass> Cache::lastPass() {
    {
        std::lock_guard lock(unsavedMutex);
        if (unsavedPass && unsavedPass->first == dir()) return unsavedPass->second;
    }
    QFile record(file(QStringLiteral("lastpass.json")));
    if (!record.open(QIODevice::ReadOnly)) return std::nullopt;
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(record.readAll(), &parseError);
    QString error;
    std::optional<LastPass> pass;
    if (parseError.error != QJsonParseError::NoError)
        error = parseError.errorString();
    else
        pass = LastPass::fromJson(document.isObject() ? QJsonValue(document.object()) : QJsonValue(), error);
    if (!pass) log(QStringLiteral("lastpass.json unreadable: ") + error, LogArea::cache);
    return pass;
}

void Cache::seedIfEmpty() {
    if (isPrimed() || !claimFolder()) return;
    // A process holding the lock runs a pass, and every pass seeds first.
    PassLock lock(dir(), PassLock::Wait::no);
    if (lock.held()) seedIfEmptyLocked();
}

void Cache::removeStaleTemporaries() {
    static const QStringList kinds{QStringLiteral("mp4"),      QStringLiteral("png"),
                                   QStringLiteral("stamp"),    QStringLiteral("png.stamp"),
                                   QStringLiteral("mp4.etag"), QStringLiteral("mp4.src"),
                                   QStringLiteral("png.etag"), QStringLiteral("png.src")};
    QSet<QString> ours{QStringLiteral("manifest.json"),    QStringLiteral("lastpass.json"),
                       QStringLiteral("index.json"),       QStringLiteral("index.json.etag"),
                       QStringLiteral("index.json.src"),   QStringLiteral("seed.mp4"),
                       QStringLiteral("spaceweather.json")};
    for (const CatalogProduct& known : Catalog::all())
        for (const QString& kind : kinds)
            ours.insert(known.id + QLatin1Char('.') + kind);
    const QDir folder(dir());
    for (const QString& name : folder.entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden)) {
        if (!ours.contains(name.chopped(4))) continue;
        if (QFile::remove(folder.filePath(name)))
            log(QStringLiteral("removed a temporary file left behind: ") + name, LogArea::cache);
    }
}

void Cache::seedIfEmptyLocked() {
    if (isPrimed() || !claimFolder()) return;
    const auto clip = Resources::path(QStringLiteral("seed.mp4"));
    const auto description = Resources::path(QStringLiteral("seed.json"));
    std::optional<CacheEntry> entry;
    if (clip && description) {
        QFile json(*description);
        if (json.open(QIODevice::ReadOnly)) entry = CacheEntry::decode(json.readAll());
    }
    if (!entry) {
        log(QStringLiteral("no seed in the bundle"), LogArea::cache);
        return;
    }
    const QString target = file(QStringLiteral("seed.mp4"));
    if (!QFileInfo::exists(target)) {
        // Copy beside, then rename, so a half-copied seed never stands under the real name.
        const QString partial = target + QStringLiteral(".tmp");
        QFile::remove(partial);
        QString error;
        if (copyFile(*clip, partial, error) &&
            std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) != 0)
            error = systemError(errno);
        if (!error.isEmpty()) {
            log(QStringLiteral("seed: could not copy the bundled clip: ") + error, LogArea::cache);
            QFile::remove(partial);
        }
    }
    writeManifest({*entry});
    log(QStringLiteral("cache was empty, seeded with the bundled clip (") + entry->updated +
            QStringLiteral(")"),
        LogArea::cache);
}
