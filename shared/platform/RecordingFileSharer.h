#pragma once
// A file sharer for tests: remembers every offered path and refuses on demand.

#include "FileSharer.h"

#include <QStringList>

class RecordingFileSharer : public FileSharer {
public:
    std::optional<QString> offer(const QString& path) override {
        offered << path;
        return refusal;
    }

    // When set, every offer is refused with this reason.
    std::optional<QString> refusal;
    QStringList offered;
};
