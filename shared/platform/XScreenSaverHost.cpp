#include "XScreenSaverHost.h"

#include "Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

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

// The file as Latin-1, one character a byte, so bytes that are not UTF-8 go back out as they came.
std::optional<QString> readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromLatin1(file.readAll());
}

QString asBytes(const QString& text) {
    return QString::fromLatin1(text.toUtf8());
}

// The program an entry line runs: its command's first word as the shell reads it, after the resource
// file's own escapes; the name, the "-" of a disabled entry and a "GL:" visual before it are skipped.
QString programOf(QString line) {
    line.replace(header(), QString());
    line = line.trimmed();
    if (line.endsWith(QLatin1Char('\\'))) line.chop(1);
    if (line.endsWith(QLatin1String("\\n"))) line.chop(2);
    line.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    line = line.trimmed();
    if (line.startsWith(QLatin1Char('-'))) line = line.mid(1).trimmed();
    static const QRegularExpression visual(QStringLiteral("^[A-Za-z0-9_]+:\\s*"));
    line.replace(visual, QString());
    if (line.startsWith(QLatin1Char('"'))) {
        const qsizetype close = line.indexOf(QLatin1Char('"'), 1);
        if (close < 0) return {};
        line = line.mid(close + 1).trimmed();
    }
    QString word;
    QChar quote;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line[++i];
        } else if (c.isSpace()) {
            break;
        } else {
            word += c;
        }
    }
    return word;
}

bool isOurs(const QString& line, const QString& programFileName) {
    const QString program = programOf(line);
    return program.section(QLatin1Char('/'), -1) == programFileName;
}

} // namespace

XScreenSaverHost::XScreenSaverHost()
    : XScreenSaverHost(Places{QDir::homePath() + QStringLiteral("/.xscreensaver"),
                              QStringLiteral("/etc/X11/app-defaults/XScreenSaver"),
                              QStringLiteral("xscreensaver-command")}) {}

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
    // A file written with CRLF line ends keeps them: each line's CR is set aside while the list is read
    // and goes back on the way out; lines of ours take the list's own.
    std::vector<bool> crs;
    for (QString& line : lines) {
        crs.push_back(line.endsWith(QLatin1Char('\r')));
        if (crs.back()) line.chop(1);
    }
    const auto finish = [&lines, &crs](qsizetype inserted, bool cr) {
        if (inserted >= 0) crs.insert(crs.begin() + inserted, cr);
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (crs[size_t(i)]) lines[i] += QLatin1Char('\r');
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    };

    qsizetype first = -1;
    for (qsizetype i = 0; i < lines.size() && first < 0; ++i)
        if (header().match(lines[i]).hasMatch()) first = i;
    if (first < 0) {
        first = lines.size();
        const bool cr = !crs.empty() && crs.back();
        lines << (systemPrograms ? systemPrograms->split(QLatin1Char('\n'))
                                 : QStringList{QStringLiteral("programs:")});
        crs.resize(size_t(lines.size()), cr);
    }
    const bool listCr = crs[size_t(first)];
    qsizetype last = first;
    while (last + 1 < lines.size() && continues(lines[last]))
        ++last;

    const QString indent = QStringLiteral("\t\t\t\t");
    for (qsizetype i = first; i <= last; ++i) {
        if (!isOurs(lines[i], programFileName)) continue;
        // Our line already: put the new entry in its place, keeping how the line ends, and the header
        // when the entry shares its line.
        const QString ending = continues(lines[i]) ? QStringLiteral(" \\n\\") : QStringLiteral(" \\n");
        const QString lead = i == first ? QStringLiteral("programs:\t") : indent;
        lines[i] = lead + entry + ending;
        return finish(-1, listCr);
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
    return finish(last + 1, listCr);
}

std::optional<QString> XScreenSaverHost::registerHack(const QString& name, const QString& program) {
    // A dotfile kept elsewhere and linked in is written where it really lives.
    const QFileInfo info(places_.file);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : places_.file;
    const auto before = readText(target);
    if (!before && QFileInfo::exists(target)) return QStringLiteral("could not read ") + target;
    const auto defaults = readText(places_.systemDefaults);
    const QString after =
        merged(before, asBytes(entry(name, program)), asBytes(QFileInfo(program).fileName()),
               defaults ? programsBlock(*defaults) : std::nullopt);
    if (before == after) return std::nullopt;
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(after.toLatin1()) < 0 || !file.commit())
        return QStringLiteral("could not write ") + target + QStringLiteral(": ") + file.errorString();
    return std::nullopt;
}

void XScreenSaverHost::restart() {
    QProcess command;
    command.setProgram(places_.command);
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
    // Whether a daemon answers on this display, whatever the desktop is called: XFCE, MATE, Cinnamon,
    // Budgie and LXQt run savers of their own, and any desktop may run XScreenSaver instead.
    if (QStandardPaths::findExecutable(places_.command).isEmpty()) return false;
    // A daemon re-reading the settings file we just merged into may miss one question: ask up to three times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) QThread::msleep(300);
        QProcess command;
        command.setProgram(places_.command);
        command.setArguments({QStringLiteral("-version")});
        command.setStandardOutputFile(QProcess::nullDevice());
        command.setStandardErrorFile(QProcess::nullDevice());
        command.start();
        if (!command.waitForFinished(5000)) {
            command.kill();
            command.waitForFinished(1000);
            return false;
        }
        if (command.exitStatus() == QProcess::NormalExit && command.exitCode() == 0) return true;
    }
    return false;
}
