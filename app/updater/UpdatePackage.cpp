#include "UpdatePackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sodium.h>
#include <unistd.h>

namespace {
using ReadArchive = std::unique_ptr<archive, decltype(&archive_read_free)>;

ReadArchive openTarball(const QByteArray& tarball) {
    ReadArchive reader(archive_read_new(), &archive_read_free);
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), tarball.constData(), size_t(tarball.size())) != ARCHIVE_OK)
        return ReadArchive(nullptr, &archive_read_free);
    return reader;
}

// The entry's path without a leading "./", or nothing when it is absolute or climbs out with "..".
std::optional<QString> safePath(const char* raw) {
    if (!raw) return std::nullopt;
    QString path = QString::fromUtf8(raw);
    if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) return std::nullopt;
    while (path.startsWith(QStringLiteral("./")))
        path.remove(0, 2);
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        if (part == QStringLiteral("..")) return std::nullopt;
    return path;
}

// A link target that stays inside the tree when read from the link's own folder.
bool staysInside(const QString& linkPath, const char* rawTarget) {
    if (!rawTarget || !*rawTarget || *rawTarget == '/') return false;
    int depth = int(linkPath.count(QLatin1Char('/')));
    for (const QString& part : QString::fromUtf8(rawTarget).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QStringLiteral(".."))
            --depth;
        else if (part != QStringLiteral("."))
            ++depth;
        if (depth < 0) return false;
    }
    return true;
}

// Reads every header once; nothing when the whole archive may be unpacked.
std::optional<QString> check(const QByteArray& tarball) {
    ReadArchive reader = openTarball(tarball);
    if (!reader) return QStringLiteral("not a gzip tarball");
    bool hasProgram = false;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
        const char* raw = archive_entry_pathname(entry);
        const std::optional<QString> path = safePath(raw);
        if (!path)
            return QStringLiteral("the tarball names a path outside its tree: ") +
                   QString::fromUtf8(raw ? raw : "");
        if (archive_entry_hardlink(entry)) return QStringLiteral("the tarball holds a hard link: ") + *path;
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFLNK) {
            if (!staysInside(*path, archive_entry_symlink(entry)))
                return QStringLiteral("the tarball holds a link that leaves its tree: ") + *path;
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            return QStringLiteral("the tarball holds something that is not a file or a folder: ") + *path;
        }
        if (type == AE_IFREG && *path == QStringLiteral("bin/solvane")) hasProgram = true;
    }
    if (status != ARCHIVE_EOF)
        return QStringLiteral("the tarball is damaged: ") +
               QString::fromUtf8(archive_error_string(reader.get()));
    if (!hasProgram) return QStringLiteral("the tarball holds no bin/solvane");
    return std::nullopt;
}

// Writes the checked entries under `destination`. Paths are relative without "..", and links stay inside
// the tree, so nothing written here can land outside it.
std::optional<QString> extract(const QByteArray& tarball, const QString& destination) {
    ReadArchive reader = openTarball(tarball);
    if (!reader) return QStringLiteral("not a gzip tarball");
    const QDir root(destination);
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        const QString path = root.filePath(*safePath(archive_entry_pathname(entry)));
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            if (!QDir().mkpath(path)) return QStringLiteral("could not create ") + path;
            continue;
        }
        if (!QDir().mkpath(QFileInfo(path).path()))
            return QStringLiteral("could not create ") + QFileInfo(path).path();
        if (type == AE_IFLNK) {
            if (::symlink(archive_entry_symlink(entry), QFile::encodeName(path).constData()) != 0)
                return QStringLiteral("could not link ") + path + QStringLiteral(": ") +
                       QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QStringLiteral("could not write ") + path + QStringLiteral(": ") + file.errorString();
        char buffer[64 * 1024];
        la_ssize_t read = 0;
        while ((read = archive_read_data(reader.get(), buffer, sizeof buffer)) > 0)
            if (file.write(buffer, read) != read)
                return QStringLiteral("could not write ") + path + QStringLiteral(": ") + file.errorString();
        if (read < 0)
            return QStringLiteral("the tarball is damaged: ") +
                   QString::fromUtf8(archive_error_string(reader.get()));
        // Only the owner's bits and the executable bit matter for a program tree.
        const bool executable = archive_entry_perm(entry) & 0111;
        file.setPermissions(
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther |
            (executable ? QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther : QFile::Permissions()));
    }
    return std::nullopt;
}
} // namespace

std::optional<QString> UpdatePackage::verify(const QByteArray& bytes, qint64 length, const QString& signature,
                                             const QString& publicKey) {
    if (sodium_init() < 0) return QStringLiteral("the signature library could not start");
    if (bytes.size() != length)
        return QStringLiteral("the download is %1 bytes long, the feed says %2")
            .arg(bytes.size())
            .arg(length);
    const QByteArray key = QByteArray::fromBase64(publicKey.toLatin1());
    const QByteArray mark = QByteArray::fromBase64(signature.toLatin1());
    if (key.size() != crypto_sign_PUBLICKEYBYTES)
        return QStringLiteral("no usable public key to check it with");
    if (mark.size() != crypto_sign_BYTES) return QStringLiteral("the signature is malformed");
    if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(mark.constData()),
                                    reinterpret_cast<const unsigned char*>(bytes.constData()),
                                    static_cast<unsigned long long>(bytes.size()),
                                    reinterpret_cast<const unsigned char*>(key.constData())) != 0)
        return QStringLiteral("the signature does not match the download");
    return std::nullopt;
}

std::optional<QString> UpdatePackage::unpack(const QByteArray& tarball, const QString& destination) {
    if (QFileInfo::exists(destination)) return QStringLiteral("the folder exists already: ") + destination;
    if (auto problem = check(tarball)) return problem;
    if (!QDir().mkpath(destination)) return QStringLiteral("could not create ") + destination;
    if (auto problem = extract(tarball, destination)) {
        QDir(destination).removeRecursively();
        return problem;
    }
    return std::nullopt;
}
