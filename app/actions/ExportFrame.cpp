#include "CommandLine.h"
#include "Share.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Writes beside the target, then renames over it: an existing file is replaced whole or left as it was.
// The reason for a failure is the system's own description.
bool writeReplacing(const QString& path, const QByteArray& bytes, QString* error) {
    const QFileInfo target(path);
    QByteArray temporary = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") +
                                             target.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(temporary.data());
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
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) return fail(errno);
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
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
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
