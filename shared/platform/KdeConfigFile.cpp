#include "KdeConfigFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
QString header(const QStringList& group) {
    return QLatin1Char('[') + group.join(QStringLiteral("][")) + QLatin1Char(']');
}

// The key of an entry line without KConfig's "[$i]"-style markers; empty for other lines.
QString keyOf(const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')) || trimmed.startsWith(QLatin1Char('[')))
        return {};
    const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
    if (equals <= 0) return {};
    QString key = trimmed.left(equals).trimmed();
    const qsizetype marker = key.indexOf(QStringLiteral("[$"));
    if (marker > 0) key.truncate(marker);
    return key;
}
} // namespace

KdeConfigFile::KdeConfigFile(QString path) : path_(std::move(path)) {
    QFile file(path_);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly)) {
        readable_ = false;
        return;
    }
    lines_ = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines_.isEmpty() && lines_.last().isEmpty()) lines_.removeLast();
}

std::vector<KdeConfigFile::Section> KdeConfigFile::sections(const QStringList& group) const {
    std::vector<Section> found;
    const QString wanted = header(group);
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        if (lines_[i].trimmed() != wanted) continue;
        qsizetype end = i + 1;
        while (end < lines_.size() && !lines_[end].trimmed().startsWith(QLatin1Char('[')))
            ++end;
        found.push_back({i, end});
    }
    return found;
}

qsizetype KdeConfigFile::find(const Section& section, const QString& key) const {
    // A later line of the same key wins, as KConfig reads it.
    for (qsizetype i = section.end - 1; i > section.header; --i)
        if (keyOf(lines_[i]) == key) return i;
    return -1;
}

std::optional<QString> KdeConfigFile::raw(const QStringList& group, const QString& key) const {
    const std::vector<Section> found = sections(group);
    for (auto section = found.rbegin(); section != found.rend(); ++section) {
        const qsizetype line = find(*section, key);
        if (line >= 0) return lines_[line].mid(lines_[line].indexOf(QLatin1Char('=')) + 1).trimmed();
    }
    return std::nullopt;
}

void KdeConfigFile::setRaw(const QStringList& group, const QString& key, const std::optional<QString>& raw) {
    // Every line of the key goes, except that a new value takes the place of the last one. Backwards, so
    // the lines still to visit keep their indices.
    bool placed = false;
    std::vector<Section> found = sections(group);
    for (auto section = found.rbegin(); section != found.rend(); ++section) {
        for (qsizetype i = section->end - 1; i > section->header; --i) {
            if (keyOf(lines_[i]) != key) continue;
            if (raw && !placed) {
                lines_[i] =
                    lines_[i].left(lines_[i].indexOf(QLatin1Char('='))).trimmed() + QLatin1Char('=') + *raw;
                placed = true;
            } else {
                lines_.removeAt(i);
            }
        }
    }
    if (placed) return;
    found = sections(group);
    if (raw) {
        const QString line = key + QLatin1Char('=') + *raw;
        if (found.empty()) {
            if (!lines_.isEmpty() && !lines_.last().trimmed().isEmpty()) lines_ << QString();
            lines_ << header(group) << line;
            return;
        }
        qsizetype at = found.back().end;
        while (at > found.back().header + 1 && lines_[at - 1].trimmed().isEmpty())
            --at;
        lines_.insert(at, line);
        return;
    }
    // A group with nothing left in it goes, with the blank line that led to it.
    for (auto section = found.rbegin(); section != found.rend(); ++section) {
        const bool empty = std::all_of(lines_.begin() + section->header + 1, lines_.begin() + section->end,
                                       [](const QString& line) { return line.trimmed().isEmpty(); });
        if (!empty) continue;
        lines_.erase(lines_.begin() + section->header, lines_.begin() + section->end);
        if (section->header > 0 && lines_[section->header - 1].trimmed().isEmpty())
            lines_.removeAt(section->header - 1);
    }
}

std::optional<QString> KdeConfigFile::save() const {
    const bool empty = std::all_of(lines_.begin(), lines_.end(),
                                   [](const QString& line) { return line.trimmed().isEmpty(); });
    if (empty) {
        if (QFile::exists(path_) && !QFile::remove(path_))
            return QStringLiteral("could not remove %1").arg(path_);
        return std::nullopt;
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("could not write %1: %2").arg(path_, file.errorString());
    file.write((lines_.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    if (!file.commit()) return QStringLiteral("could not write %1: %2").arg(path_, file.errorString());
    return std::nullopt;
}

QString KdeConfigFile::escaped(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char(' ') && (i == 0 || i == value.size() - 1))
            out += QStringLiteral("\\s"); // KConfig trims spaces at the ends of a value
        else
            out += c;
    }
    return out;
}
