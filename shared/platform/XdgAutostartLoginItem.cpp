#include "XdgAutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace {
const QString entryName = QStringLiteral("solvane.desktop");
const QString programName = QStringLiteral("solvane");

bool isTrue(const QString& value) {
    return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

bool isFalse(const QString& value) {
    return value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
}
} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString folder, QString executable)
    : folder_(std::move(folder)), executable_(std::move(executable)) {}

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(defaultFolder(), defaultExecutable()) {}

QString XdgAutostartLoginItem::defaultFolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart");
}

QString XdgAutostartLoginItem::defaultExecutable() {
    const QFileInfo self(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    if (self.fileName() == programName) return self.absoluteFilePath();
    // The screen-saver hack and tools live beside the app or share its PATH.
    const QFileInfo sibling(self.absolutePath() + QLatin1Char('/') + programName);
    if (!self.fileName().isEmpty() && sibling.isExecutable()) return sibling.absoluteFilePath();
    const QString onPath = QStandardPaths::findExecutable(programName);
    if (!onPath.isEmpty()) return onPath;
    return QStringLiteral("/usr/bin/solvane");
}

QString XdgAutostartLoginItem::file() const {
    return folder_ + QLatin1Char('/') + entryName;
}

QString XdgAutostartLoginItem::execArgument(const QString& path) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (QChar c : path)
        if (reserved.contains(c)) needsQuotes = true;
    QString argument;
    if (needsQuotes) {
        argument.append(QLatin1Char('"'));
        for (QChar c : path) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                argument.append(QLatin1Char('\\'));
            argument.append(c);
        }
        argument.append(QLatin1Char('"'));
    } else {
        argument = path;
    }
    // Field codes start with "%"; a literal one is doubled.
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // The Exec value is also a desktop-entry string, whose own escape is the backslash.
    argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return argument;
}

std::optional<QByteArray> XdgAutostartLoginItem::entryText(const QString& executable) {
    if (!QDir::isAbsolutePath(executable) || executable.contains(QLatin1Char('\n')) ||
        executable.contains(QLatin1Char('\r')))
        return std::nullopt;
    const QStringList lines{
        QStringLiteral("[Desktop Entry]"),
        QStringLiteral("Type=Application"),
        QStringLiteral("Name=Solvane"),
        QStringLiteral("Comment=Live imagery of the Sun"),
        QStringLiteral("Exec=") + execArgument(executable),
        QStringLiteral("Icon=solvane"),
        QStringLiteral("Terminal=false"),
        QStringLiteral("X-GNOME-Autostart-enabled=true"),
    };
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

bool XdgAutostartLoginItem::entryEnabled(const QByteArray& text) {
    bool inMainGroup = false;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup) continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Hidden") && isTrue(value)) return false;
        if (key == QLatin1String("X-GNOME-Autostart-enabled") && isFalse(value)) return false;
    }
    return true;
}

bool XdgAutostartLoginItem::isEnabled() const {
    QFile entry(file());
    if (!entry.open(QIODevice::ReadOnly)) return false;
    // An entry is a few hundred bytes; more than this is not ours to parse in full.
    return entryEnabled(entry.read(64 * 1024));
}

std::optional<QString> XdgAutostartLoginItem::setEnabled(bool enabled) {
    if (!enabled) {
        QFile entry(file());
        if (!entry.exists()) return std::nullopt;
        if (!entry.remove()) return QStringLiteral("cannot remove %1: %2").arg(file(), entry.errorString());
        return std::nullopt;
    }
    const std::optional<QByteArray> text = entryText(executable_);
    if (!text) return QStringLiteral("cannot start %1 from a desktop entry").arg(executable_);
    if (!QDir().mkpath(folder_)) return QStringLiteral("cannot create the folder %1").arg(folder_);
    QSaveFile entry(file());
    if (!entry.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(file(), entry.errorString());
    if (entry.write(*text) != text->size() || !entry.commit())
        return QStringLiteral("cannot write %1: %2").arg(file(), entry.errorString());
    return std::nullopt;
}
