#include "SettingsStore.h"

#include "Log.h"
#include "PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Serialises writers of the same folder across processes (the app and a timer's `--refresh` both save
// settings), without leaving a lock file in the user's config folder.
class FolderLock {
public:
    explicit FolderLock(const QString& folder) {
        fd_ = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // Another program could hold a lock on the same folder for ever: wait a while, then save
        // without the lock rather than hang the caller.
        for (int attempt = 0; fd_ >= 0 && attempt < 200; ++attempt) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR)) break;
            ::usleep(10000);
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_); // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

// Writes bytes to a temporary file beside `target` and renames it over `target`, so a reader sees the
// old file or the new one and never a part. Keeps the old file's permissions, else owner-only.
bool replaceFile(const QString& target, const QByteArray& bytes, QString* error) {
    const QFileInfo info(target);
    QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                           QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    const auto fail = [&](int code) {
        ::close(fd);
        ::unlink(pattern.constData());
        *error = systemError(code);
        return false;
    };
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : ENOSPC);
        written += n;
    }
    struct stat old {};
    const mode_t mode =
        ::stat(QFile::encodeName(target).constData(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    if (::fchmod(fd, mode) != 0) return fail(errno);
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(pattern.constData());
        *error = systemError(code);
        return false;
    }
    if (::rename(pattern.constData(), QFile::encodeName(target).constData()) != 0) {
        const int code = errno;
        ::unlink(pattern.constData());
        *error = systemError(code);
        return false;
    }
    return true;
}

// Whether saving `values` would write the very bytes the file holds (a file we wrote ourselves).
bool rewritesAsRead(const QString& path, const QVariantMap& values) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    return file.read(PropertyList::maximumBytes + 1) == PropertyList::toXml(values);
}

bool sameValue(const QVariant& a, const QVariant& b) {
    // QVariant compares numbers across types; an integer and a real must still count as different.
    return a.typeId() == b.typeId() && a == b;
}

} // namespace

SettingsStore::SettingsStore(QString file) : file_(std::move(file)), encodedFile_(QFile::encodeName(file_)) {}

QString SettingsStore::configHome() {
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured)) return configured;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString SettingsStore::fileFor(const QString& domain) {
    return configHome() + QLatin1Char('/') + domain + QStringLiteral(".plist");
}

std::optional<QVariantMap> SettingsStore::readDictionary(const QString& path, QString* error,
                                                         QStringList* kept) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.read(PropertyList::maximumBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    return PropertyList::parseDictionary(bytes, error, kept);
}

QString SettingsStore::file() const {
    std::lock_guard lock(mutex_);
    return file_;
}

void SettingsStore::useFile(const QString& file) {
    std::lock_guard lock(mutex_);
    file_ = file;
    encodedFile_ = QFile::encodeName(file);
    fallback_.clear();
    values_.clear();
    seen_ = {};
    loaded_ = false;
    fileReads_ = 0;
    unsaved_ = false;
    keepAside_ = false;
}

void SettingsStore::refreshLocked() const {
    if (unsaved_) return;
    int statError = 0;
    const Signature now = FileSignature::of(encodedFile_, &statError);
    if (loaded_ && now == seen_) return;
    loadLocked(now, statError);
}

void SettingsStore::loadLocked(const Signature& signature, int statError) const {
    seen_ = signature;
    loaded_ = true;
    values_.clear();
    keepAside_ = false;
    if (!signature.exists) {
        // No file yet is the normal first run; anything else (a folder we may not enter) is worth a line.
        if (statError != ENOENT && statError != ENOTDIR)
            log(QStringLiteral("settings: cannot read %1: %2; using the defaults")
                    .arg(file_, systemError(statError)),
                LogArea::app);
        return;
    }
    QString error;
    QStringList kept;
    ++fileReads_;
    std::optional<QVariantMap> read = readDictionary(file_, &error, &kept);
    if (!read) {
        log(QStringLiteral("settings: %1 is not a usable settings file (%2); using the defaults")
                .arg(file_, error),
            LogArea::app);
        keepAside_ = true;
        return;
    }
    values_ = std::move(*read);
    if (!kept.isEmpty() && !rewritesAsRead(file_, values_)) {
        // Written back as read, but a rewrite would still differ in form (binary to XML, cleaned keys,
        // layout): the original is kept as well.
        log(QStringLiteral("settings: %1 holds values kept as read (%2); the original is kept aside at the "
                           "first save")
                .arg(file_, kept.join(QStringLiteral(", "))),
            LogArea::app);
        keepAside_ = true;
    }
}

bool SettingsStore::has(const QString& key) const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    return values_.contains(key) || fallback_.contains(key);
}

QVariant SettingsStore::value(const QString& key) const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    const auto own = values_.constFind(key);
    if (own != values_.constEnd()) return *own;
    return fallback_.value(key);
}

std::optional<QString> SettingsStore::asString(const QVariant& stored) {
    if (stored.typeId() != QMetaType::QString) return std::nullopt;
    return stored.toString();
}

std::optional<QStringList> SettingsStore::asStringList(const QVariant& stored) {
    if (stored.typeId() != QMetaType::QVariantList) return std::nullopt;
    QStringList list;
    for (const QVariant& element : stored.toList()) {
        if (element.typeId() != QMetaType::QString) return std::nullopt;
        list.append(element.toString());
    }
    return list;
}

bool SettingsStore::asBoolean(const QVariant& stored) {
    switch (stored.typeId()) {
    case QMetaType::Bool:
        return stored.toBool();
    case QMetaType::LongLong:
        return stored.toLongLong() != 0;
    case QMetaType::Double:
        return stored.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString text = stored.toString().trimmed().toLower();
        return text == QLatin1String("true") || text == QLatin1String("yes") || text == QLatin1String("1");
    }
    default:
        return false;
    }
}

std::optional<double> SettingsStore::asNumber(const QVariant& stored) {
    if (stored.typeId() == QMetaType::LongLong) return double(stored.toLongLong());
    if (stored.typeId() == QMetaType::Double) return stored.toDouble();
    return std::nullopt;
}

std::optional<qint64> SettingsStore::asWholeNumber(const QVariant& stored) {
    if (stored.typeId() == QMetaType::LongLong) return stored.toLongLong();
    if (stored.typeId() != QMetaType::Double) return std::nullopt;
    const double real = stored.toDouble();
    if (std::isnan(real)) return std::nullopt;
    // Out-of-range reals clamp rather than overflow.
    if (real >= 9.2e18) return std::numeric_limits<qint64>::max();
    if (real <= -9.2e18) return std::numeric_limits<qint64>::min();
    return qint64(real);
}

std::optional<QDateTime> SettingsStore::asDate(const QVariant& stored) {
    if (stored.typeId() != QMetaType::QDateTime) return std::nullopt;
    return stored.toDateTime();
}

std::optional<QString> SettingsStore::string(const QString& key) const {
    return asString(value(key));
}

std::optional<QStringList> SettingsStore::stringList(const QString& key) const {
    return asStringList(value(key));
}

bool SettingsStore::boolean(const QString& key) const {
    return asBoolean(value(key));
}

std::optional<double> SettingsStore::number(const QString& key) const {
    return asNumber(value(key));
}

std::optional<qint64> SettingsStore::wholeNumber(const QString& key) const {
    return asWholeNumber(value(key));
}

qint64 SettingsStore::integer(const QString& key) const {
    return wholeNumber(key).value_or(0);
}

double SettingsStore::real(const QString& key) const {
    return number(key).value_or(0.0);
}

std::optional<QDateTime> SettingsStore::date(const QString& key) const {
    return asDate(value(key));
}

void SettingsStore::set(const QString& key, const QVariant& value) {
    const QVariant kept = PropertyList::normalized(value);
    // Keys go through the same cleaning as text values, so memory and file name a key alike.
    const QString name = PropertyList::normalized(QVariant(key)).toString();
    std::lock_guard lock(mutex_);
    const QString folder = QFileInfo(file_).absolutePath();
    QDir().mkpath(folder);
    const FolderLock folderLock(folder);
    // Another process may have saved since our last look; start from what is on disk now.
    refreshLocked();
    writeLocked(name, kept);
}

void SettingsStore::remove(const QString& key) {
    set(key, QVariant());
}

void SettingsStore::writeLocked(const QString& key, const QVariant& value) {
    if (!value.isValid()) {
        if (!values_.contains(key)) return;
        values_.remove(key);
    } else {
        const auto current = values_.constFind(key);
        if (current != values_.constEnd() && sameValue(*current, value)) return;
        values_.insert(key, value);
    }
    if (batchDepth_ > 0) {
        unsaved_ = true;
        return;
    }
    saveLocked();
}

SettingsStore::Batch::Batch(SettingsStore& store) : store_(store) {
    std::lock_guard lock(store_.mutex_);
    ++store_.batchDepth_;
}

SettingsStore::Batch::~Batch() {
    std::lock_guard lock(store_.mutex_);
    if (--store_.batchDepth_ > 0 || !store_.unsaved_) return;
    const QString folder = QFileInfo(store_.file_).absolutePath();
    QDir().mkpath(folder);
    const FolderLock folderLock(folder);
    store_.unsaved_ = false;
    store_.saveLocked();
}

bool SettingsStore::saveLocked() {
    QString target = file_;
    const QFileInfo info(file_);
    // A settings file kept as a symbolic link (a dotfiles folder) stays a link: replace what it names.
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty()) target = info.canonicalFilePath();
    if (keepAside_) {
        // Every damaged file is kept: a name already taken by an earlier one is never replaced.
        QString aside = target + QStringLiteral(".corrupt");
        int result = -1;
        for (int number = 1; number <= 1000; ++number) {
            result = ::renameat2(AT_FDCWD, QFile::encodeName(target).constData(), AT_FDCWD,
                                 QFile::encodeName(aside).constData(), RENAME_NOREPLACE);
            if (result == 0 || errno != EEXIST) break;
            aside = target + QStringLiteral(".corrupt.") + QString::number(number);
        }
        if (result == 0) {
            log(QStringLiteral("settings: kept the unreadable settings file as %1").arg(aside), LogArea::app);
        } else if (errno != ENOENT) {
            // Never write over settings we could not keep.
            log(QStringLiteral("settings: could not keep the unreadable settings file as %1: %2; not saving")
                    .arg(aside, systemError(errno)),
                LogArea::app);
            return false;
        }
        keepAside_ = false;
    }
    QString error;
    if (!replaceFile(target, PropertyList::toXml(values_), &error)) {
        log(QStringLiteral("settings: could not save %1: %2").arg(file_, error), LogArea::app);
        return false;
    }
    seen_ = FileSignature::of(encodedFile_);
    return true;
}

quint64 SettingsStore::fileReads() const {
    std::lock_guard lock(mutex_);
    return fileReads_;
}

QVariantMap SettingsStore::dictionary() const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    return values_;
}

void SettingsStore::registerFallback(const QVariantMap& values) {
    std::lock_guard lock(mutex_);
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        const QVariant kept = PropertyList::normalized(it.value());
        if (kept.isValid()) fallback_.insert(it.key(), kept);
    }
}

bool SettingsStore::registerFallbackFile(const QString& path) {
    const std::optional<QVariantMap> values = readDictionary(path);
    if (!values) return false;
    registerFallback(*values);
    return true;
}
