#include "MotionPreference.h"

#include <QDir>
#include <QFile>

KdeMotionPreference::KdeMotionPreference(QStringList folders) : folders_(std::move(folders)) {}

QStringList KdeMotionPreference::defaultFolders() {
    QString user = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (user.isEmpty()) user = QDir::home().filePath(".config");
    QStringList folders{user};
    QString system = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (system.isEmpty()) system = QStringLiteral("/etc/xdg");
    for (const QString& folder : system.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << folder;
    return folders;
}

std::optional<double> KdeMotionPreference::animationFactor(const QByteArray& text) {
    bool inKde = false;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inKde = line == "[KDE]";
            continue;
        }
        if (!inKde) continue;
        const qsizetype equals = line.indexOf('=');
        // Keys may carry KDE's "[$i]" (immutable) marker.
        if (equals < 0) continue;
        QByteArray key = line.left(equals).trimmed();
        if (key.endsWith("[$i]")) key.chop(4);
        if (key != "AnimationDurationFactor") continue;
        bool ok = false;
        const double factor = line.mid(equals + 1).trimmed().toDouble(&ok);
        if (ok) return factor;
    }
    return std::nullopt;
}

bool KdeMotionPreference::reduceMotion() {
    for (const QString& folder : folders_) {
        QFile file(QDir(folder).filePath(QStringLiteral("kdeglobals")));
        if (!file.open(QIODevice::ReadOnly)) continue;
        if (const auto factor = animationFactor(file.read(1 << 20))) return *factor == 0;
    }
    return false;
}
