#include "XScreenSaverHost.h"

#include "Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// A line continues the resource on the next when it ends in an odd number of backslashes.
bool continues(const QString& line) {
    qsizetype count = 0;
    for (qsizetype i = line.size() - 1; i >= 0 && line[i] == QLatin1Char('\\'); --i)
        ++count;
    return count % 2 == 1;
}

QString withoutTrailingSpace(QString line) {
    while (!line.isEmpty() && line.back().isSpace())
        line.chop(1);
    return line;
}

const QRegularExpression& header() {
    static const QRegularExpression pattern(QStringLiteral("^\\s*programs\\s*:"));
    return pattern;
}

std::optional<QString> readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

} // namespace

XScreenSaverHost::XScreenSaverHost()
    : XScreenSaverHost(Places{QDir::homePath() + QStringLiteral("/.xscreensaver"),
                              QStringLiteral("/etc/X11/app-defaults/XScreenSaver"),
                              qEnvironmentVariable("XDG_CURRENT_DESKTOP")}) {}

XScreenSaverHost::XScreenSaverHost(Places places) : places_(std::move(places)) {}

QString XScreenSaverHost::entry(const QString& name, const QString& program) {
    // The shell sees the program in single quotes (the path has a space); in the resource file a
    // backslash is written twice.
    QString quoted = QStringLiteral("'") +
                     QString(program).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                     QStringLiteral("'");
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + name + QStringLiteral("\"\t") + quoted + QStringLiteral(" --root");
}

std::optional<QString> XScreenSaverHost::programsBlock(const QString& defaults) {
    static const QRegularExpression star(QStringLiteral("^\\s*\\*programs\\s*:"));
    const QStringList lines = defaults.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!star.match(lines[i]).hasMatch()) continue;
        QStringList block{QString(lines[i]).replace(star, QStringLiteral("programs:"))};
        for (qsizetype j = i; continues(lines[j]) && j + 1 < lines.size(); ++j)
            block << lines[j + 1];
        return block.join(QLatin1Char('\n'));
    }
    return std::nullopt;
}

QString XScreenSaverHost::merged(const std::optional<QString>& text, const QString& entry,
                                 const QString& programFileName,
                                 const std::optional<QString>& systemPrograms) {
    QStringList lines = text ? text->split(QLatin1Char('\n')) : QStringList();
    // A file ending in a newline splits into a last empty line; it stays the file's end.
    const bool endsWithNewline = !lines.isEmpty() && lines.back().isEmpty();
    if (endsWithNewline) lines.removeLast();

    qsizetype first = -1;
    for (qsizetype i = 0; i < lines.size() && first < 0; ++i)
        if (header().match(lines[i]).hasMatch()) first = i;
    if (first < 0) {
        first = lines.size();
        lines << (systemPrograms ? systemPrograms->split(QLatin1Char('\n'))
                                 : QStringList{QStringLiteral("programs:")});
    }
    qsizetype last = first;
    while (last + 1 < lines.size() && continues(lines[last]))
        ++last;

    const QString indent = QStringLiteral("\t\t\t\t");
    for (qsizetype i = first; i <= last; ++i) {
        if (!lines[i].contains(programFileName)) continue;
        // Our line already: put the new entry in its place, keeping how the line ends.
        const QString ending = continues(lines[i]) ? QStringLiteral(" \\n\\") : QStringLiteral(" \\n");
        const QString lead = i == first ? QStringLiteral("programs:\t") : indent;
        lines[i] = lead + entry + ending;
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }

    QString end = withoutTrailingSpace(lines[last]);
    if (continues(end)) {
        // The file ended inside the list: the dangling backslash already asks for our line.
    } else if (last == first && header().match(end).capturedEnd() == end.size()) {
        end += QStringLiteral("\t\\"); // an empty list
    } else if (end.endsWith(QLatin1String("\\n"))) {
        end += QLatin1Char('\\');
    } else {
        end += QStringLiteral(" \\n\\");
    }
    lines[last] = end;
    lines.insert(last + 1, indent + entry + QStringLiteral(" \\n"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool XScreenSaverHost::runsXScreenSaver(const QString& currentDesktop) {
    for (const QString& desktop : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (desktop.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0 ||
            desktop.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0)
            return false;
    return true;
}

std::optional<QString> XScreenSaverHost::registerHack(const QString& name, const QString& program) {
    // A dotfile kept elsewhere and linked in is written where it really lives.
    const QFileInfo info(places_.file);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : places_.file;
    const auto before = readText(target);
    if (!before && QFileInfo::exists(target)) return QStringLiteral("could not read ") + target;
    const auto defaults = readText(places_.systemDefaults);
    const QString after = merged(before, entry(name, program), QFileInfo(program).fileName(),
                                 defaults ? programsBlock(*defaults) : std::nullopt);
    if (before == after) return std::nullopt;
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(after.toUtf8()) < 0 || !file.commit())
        return QStringLiteral("could not write ") + target + QStringLiteral(": ") + file.errorString();
    return std::nullopt;
}

void XScreenSaverHost::restart() {
    QProcess command;
    command.setProgram(QStringLiteral("xscreensaver-command"));
    command.setArguments({QStringLiteral("-restart")});
    // It reports to the terminal; whether a host was running is not our concern.
    command.setStandardOutputFile(QProcess::nullDevice());
    command.setStandardErrorFile(QProcess::nullDevice());
    if (QStandardPaths::findExecutable(command.program()).isEmpty()) {
        log(QStringLiteral("saver: could not restart xscreensaver: xscreensaver-command is not installed"),
            LogArea::saver);
        return;
    }
    if (!command.startDetached())
        log(QStringLiteral("saver: could not restart xscreensaver: ") + command.errorString(),
            LogArea::saver);
}

bool XScreenSaverHost::openSettings() {
    const QString settings = QStandardPaths::findExecutable(QStringLiteral("xscreensaver-settings"));
    if (settings.isEmpty()) return false;
    QProcess window;
    window.setProgram(settings);
    window.setStandardOutputFile(QProcess::nullDevice());
    window.setStandardErrorFile(QProcess::nullDevice());
    return window.startDetached();
}

bool XScreenSaverHost::isDesktopsSaver() const {
    return runsXScreenSaver(places_.currentDesktop);
}
