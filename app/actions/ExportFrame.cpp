#include "CommandLine.h"
#include "Share.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// What a write to `path` lands on: the path itself, or the file a chain of symbolic links there names,
// with what is there now. Nothing, with the reason, when the chain cannot be followed.
struct Destination {
    QString path;
    bool exists = false;
    struct stat info {};
};

std::optional<Destination> resolve(const QString& path, QString* error) {
    Destination destination{path};
    for (int hop = 0; hop < 40; ++hop) {
        if (::lstat(QFile::encodeName(destination.path).constData(), &destination.info) != 0) {
            if (errno == ENOENT) return destination; // a new file
            *error = systemError(errno);
            return std::nullopt;
        }
        if (!S_ISLNK(destination.info.st_mode)) {
            destination.exists = true;
            return destination;
        }
        destination.path = QFile::symLinkTarget(destination.path);
    }
    *error = systemError(ELOOP);
    return std::nullopt;
}

// Writes beside the destination, then renames over it: an existing file is replaced whole or left as it
// was, keeping its mode (and owner where we may). A symbolic link is followed to its file, and nothing
// but a regular file is ever replaced: a device, a FIFO or a socket at the path stays what it is.
// The reason for a failure is the system's own description.
bool writeReplacing(const QString& path, const QByteArray& bytes, QString* error) {
    const auto destination = resolve(path, error);
    if (!destination) return false;
    if (destination->exists && !S_ISREG(destination->info.st_mode)) {
        *error =
            S_ISDIR(destination->info.st_mode) ? systemError(EISDIR) : QStringLiteral("Not a regular file");
        return false;
    }
    const QFileInfo target(destination->path);
    QByteArray temporary = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") +
                                             target.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    auto fail = [&](int code) {
        *error = systemError(code);
        ::close(fd);
        ::unlink(temporary.constData());
        return false;
    };
    mode_t mode = 0;
    if (destination->exists) {
        mode = destination->info.st_mode & 07777;
        // Only root may give a file away; anyone else keeps owning what they write.
        if (::fchown(fd, destination->info.st_uid, destination->info.st_gid) != 0 && errno != EPERM)
            return fail(errno);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) return fail(errno);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += wrote;
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        *error = systemError(errno);
        ::unlink(temporary.constData());
        return false;
    }
    // A new file must still be new: whatever appeared there meanwhile is not ours to replace.
    const unsigned flags = destination->exists ? 0 : RENAME_NOREPLACE;
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD,
                    QFile::encodeName(destination->path).constData(), flags) != 0) {
        *error = systemError(errno);
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

} // namespace

int Actions::exportFrame(const QString& productID, const QString& outputPath) {
    const auto png = Share::newestFramePNG(productID);
    if (!png) {
        printLine(stdout, QStringLiteral("no frame for ") + productID);
        return 1;
    }
    QString error;
    if (!writeReplacing(outputPath, *png, &error)) {
        printLine(stdout, QStringLiteral("cannot write: ") + error);
        return 1;
    }
    printLine(stdout, QStringLiteral("wrote ") + outputPath);
    return 0;
}
