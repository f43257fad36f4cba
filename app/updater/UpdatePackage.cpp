#include "UpdatePackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sodium.h>
#include <unistd.h>

namespace {
using ReadArchive = std::unique_ptr<archive, decltype(&archive_read_free)>;

ReadArchive openTarball(const QByteArray& tarball) {
    ReadArchive reader(archive_read_new(), &archive_read_free);
    // The install tree comes gzipped; the portable build, xz-compressed.
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_filter_xz(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), tarball.constData(), size_t(tarball.size())) != ARCHIVE_OK)
        return ReadArchive(nullptr, &archive_read_free);
    return reader;
}

// The entry's path with "." parts and doubled or trailing slashes taken out ("./bin/" is "bin"), or
// nothing when it is absolute or climbs out with "..".
std::optional<QString> safePath(const char* raw) {
    if (!raw) return std::nullopt;
    const QString path = QString::fromUtf8(raw);
    if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) return std::nullopt;
    QStringList kept;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QStringLiteral("..")) return std::nullopt;
        if (part != QStringLiteral(".")) kept << part;
    }
    return kept.join(QLatin1Char('/'));
}

struct Entry {
    QString path;
    mode_t type = 0;
    QString target; // a link's
};

// A link target that stays inside the tree when read from the link's own folder, and that does not
// pass through another link of the tree on the way (whose own target would make this reading wrong).
bool staysInside(const QString& linkPath, const QString& target, const QSet<QString>& links) {
    if (target.isEmpty() || target.startsWith(QLatin1Char('/'))) return false;
    QStringList at = linkPath.split(QLatin1Char('/'));
    at.removeLast();
    const QStringList parts = target.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts[i] == QStringLiteral("..")) {
            if (at.isEmpty()) return false;
            at.removeLast();
        } else if (parts[i] != QStringLiteral(".")) {
            at << parts[i];
            if (i + 1 < parts.size() && links.contains(at.join(QLatin1Char('/')))) return false;
        }
    }
    return true;
}

// The first folder above `path` that the tree makes a link, or nothing.
std::optional<QString> linkAbove(const QString& path, const QSet<QString>& links) {
    const QStringList parts = path.split(QLatin1Char('/'));
    for (qsizetype n = 1; n < parts.size(); ++n) {
        const QString above = parts.mid(0, n).join(QLatin1Char('/'));
        if (links.contains(above)) return above;
    }
    return std::nullopt;
}

// The folder the tree lies in: none when bin/solvane is at the top, else the one folder that holds
// every entry and a bin/solvane (the portable build's solvane-<version>/). Nothing without a program.
std::optional<QString> treeFolder(const std::vector<Entry>& entries) {
    QSet<QString> tops;
    for (const Entry& item : entries) {
        if (item.type == AE_IFREG && item.path == QStringLiteral("bin/solvane")) return QString();
        if (!item.path.isEmpty()) tops.insert(item.path.section(QLatin1Char('/'), 0, 0));
    }
    if (tops.size() != 1) return std::nullopt;
    const QString top = *tops.begin();
    for (const Entry& item : entries)
        if (item.type == AE_IFREG && item.path == top + QStringLiteral("/bin/solvane")) return top;
    return std::nullopt;
}

// `path` inside the tree: without the folder the tree lies in.
QString inTree(const QString& path, const QString& folder) {
    if (folder.isEmpty()) return path;
    return path == folder ? QString() : path.mid(folder.size() + 1);
}

// Reads every header once; nothing when the whole archive may be unpacked, with the folder its tree
// lies in (see treeFolder) in `folder`.
std::optional<QString> check(const QByteArray& tarball, QString* folder) {
    ReadArchive reader = openTarball(tarball);
    if (!reader) return QStringLiteral("not a gzip or xz tarball");
    std::vector<Entry> entries;
    QSet<QString> links;
    QHash<QString, mode_t> seen;
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
        if (type != AE_IFLNK && type != AE_IFREG && type != AE_IFDIR)
            return QStringLiteral("the tarball holds something that is not a file or a folder: ") + *path;
        if (path->isEmpty() && type != AE_IFDIR)
            return QStringLiteral("the tarball holds a file in place of its tree");
        // A second entry at one path could replace a checked folder with a link; folders may repeat.
        if (const auto before = seen.constFind(*path);
            before != seen.constEnd() && (*before != AE_IFDIR || type != AE_IFDIR))
            return QStringLiteral("the tarball names a path twice: ") + *path;
        seen.insert(*path, type);
        const char* target = type == AE_IFLNK ? archive_entry_symlink(entry) : nullptr;
        entries.push_back({*path, type, QString::fromUtf8(target ? target : "")});
    }
    if (status != ARCHIVE_EOF)
        return QStringLiteral("the tarball is damaged: ") +
               QString::fromUtf8(archive_error_string(reader.get()));
    const std::optional<QString> tree = treeFolder(entries);
    if (!tree) return QStringLiteral("the tarball holds no bin/solvane");
    // Links are judged where they will lie: a link may not climb out of the tree's own folder.
    for (Entry& item : entries) {
        item.path = inTree(item.path, *tree);
        if (item.path.isEmpty() && item.type != AE_IFDIR)
            return QStringLiteral("the tarball holds a file in place of its tree");
        if (item.type == AE_IFLNK) links.insert(item.path);
    }
    for (const Entry& item : entries) {
        if (const auto link = linkAbove(item.path, links))
            return QStringLiteral("the tarball holds an entry below its link ") + *link +
                   QStringLiteral(": ") + item.path;
        if (item.type == AE_IFLNK && !staysInside(item.path, item.target, links))
            return QStringLiteral("the tarball holds a link that leaves its tree: ") + item.path;
    }
    *folder = *tree;
    return std::nullopt;
}

// Writes the checked entries under `destination`. Paths are relative without "..", and links stay inside
// the tree, so nothing written here can land outside it.
std::optional<QString> extract(const QByteArray& tarball, const QString& destination, const QString& folder) {
    ReadArchive reader = openTarball(tarball);
    if (!reader) return QStringLiteral("not a gzip or xz tarball");
    const QDir root(destination);
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        const QString path = root.filePath(inTree(*safePath(archive_entry_pathname(entry)), folder));
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
        // A new file, never through a link: the check leaves no way there, and this makes sure of it.
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return QStringLiteral("could not write ") + path + QStringLiteral(": ") +
                   QString::fromLocal8Bit(std::strerror(errno));
        QFile file;
        if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return QStringLiteral("could not write ") + path + QStringLiteral(": ") + file.errorString();
        }
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
    QString folder;
    if (auto problem = check(tarball, &folder)) return problem;
    if (!QDir().mkpath(destination)) return QStringLiteral("could not create ") + destination;
    if (auto problem = extract(tarball, destination, folder)) {
        QDir(destination).removeRecursively();
        return problem;
    }
    return std::nullopt;
}

std::optional<QString> UpdatePackage::version(const QByteArray& tarball) {
    ReadArchive reader = openTarball(tarball);
    if (!reader) return std::nullopt;
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        const std::optional<QString> path = safePath(archive_entry_pathname(entry));
        // At the top, or in the one folder of the portable build.
        if (archive_entry_filetype(entry) != AE_IFREG || !path ||
            !(*path == QStringLiteral("share/solvane/version") ||
              (path->count(QLatin1Char('/')) == 3 &&
               path->endsWith(QStringLiteral("/share/solvane/version")))))
            continue;
        char buffer[256];
        const la_ssize_t read = archive_read_data(reader.get(), buffer, sizeof buffer);
        if (read <= 0) return std::nullopt;
        const QString text = QString::fromUtf8(buffer, read).trimmed();
        return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
    }
    return std::nullopt;
}
