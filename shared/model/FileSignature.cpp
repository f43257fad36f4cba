#include "FileSignature.h"

#include <QFile>
#include <cerrno>
#include <sys/stat.h>

FileSignature FileSignature::of(const QByteArray& encodedPath, int* error) {
    struct stat info {};
    if (::stat(encodedPath.constData(), &info) != 0) {
        if (error) *error = errno;
        return {};
    }
    if (error) *error = 0;
    FileSignature signature;
    signature.exists = true;
    signature.device = info.st_dev;
    signature.inode = info.st_ino;
    signature.size = info.st_size;
    signature.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    signature.changedNs = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    return signature;
}

FileSignature FileSignature::of(const QString& path) {
    return of(QFile::encodeName(path));
}
