#pragma once
// Which version of a file is on disk: enough to tell a file rewritten in place, or a new one renamed over
// it, from the one seen before, without reading it.

#include <QByteArray>
#include <QString>
#include <sys/types.h>

struct FileSignature {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    bool operator==(const FileSignature&) const = default;

    // Nothing exists when the file cannot be looked at; `error` then holds errno (else 0).
    static FileSignature of(const QByteArray& encodedPath, int* error = nullptr);
    static FileSignature of(const QString& path);
};
