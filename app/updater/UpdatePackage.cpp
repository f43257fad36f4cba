#include "UpdatePackage.h"

#include <QDir>
#include <QFileInfo>
#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <sodium.h>

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

std::optional<QString> extract(const QByteArray& tarball, const QString& destination) {
    ReadArchive reader = openTarball(tarball);
    if (!reader) return QStringLiteral("not a gzip tarball");
    std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_disk_new(),
                                                                   &archive_write_free);
    archive_write_disk_set_options(
        writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                          ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        const QString path = *safePath(archive_entry_pathname(entry));
        const QByteArray target = QDir(destination).filePath(path).toUtf8();
        archive_entry_set_pathname(entry, target.constData());
        // Files belong to the user who installs, whatever the tarball says.
        archive_entry_set_uid(entry, geteuid());
        archive_entry_set_gid(entry, getegid());
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK)
            return QString::fromUtf8(archive_error_string(writer.get()));
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        int status = ARCHIVE_OK;
        while ((status = archive_read_data_block(reader.get(), &block, &size, &offset)) == ARCHIVE_OK)
            if (archive_write_data_block(writer.get(), block, size, offset) != ARCHIVE_OK)
                return QString::fromUtf8(archive_error_string(writer.get()));
        if (status != ARCHIVE_EOF) return QString::fromUtf8(archive_error_string(reader.get()));
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK)
            return QString::fromUtf8(archive_error_string(writer.get()));
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return QString::fromUtf8(archive_error_string(writer.get()));
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
