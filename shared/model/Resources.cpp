#include "Resources.h"

#include "BuildInfo.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString executableFolder() {
    // /proc/self/exe works before (and without) a QCoreApplication.
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

} // namespace

std::optional<QString> Resources::path(const QString& name) {
    const QString folders[] = {
        // The saver's bundle folder carries its own resources beside its executable.
        executableFolder() + QStringLiteral("/resources"),
        executableFolder() + QStringLiteral("/../share/solvane"),
        QString::fromUtf8(BuildInfo::sourceDir) + QStringLiteral("/resources"),
    };
    for (const QString& folder : folders) {
        const QString candidate = QDir::cleanPath(folder + QLatin1Char('/') + name);
        if (QFileInfo::exists(candidate)) return candidate;
    }
    return std::nullopt;
}
