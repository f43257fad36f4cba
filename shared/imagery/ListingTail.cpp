#include "ListingTail.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

namespace {
// The time an archive name in this line begins with ("20261208_101200_..."), in seconds since the
// epoch; nothing when the line names none.
std::optional<qint64> timeOf(const QByteArray& line) {
    static const QRegularExpression name(QStringLiteral(R"((\d{8})_(\d{6})_\d+_)"));
    const QRegularExpressionMatch match = name.match(QString::fromLatin1(line));
    if (!match.hasMatch()) return std::nullopt;
    const QDateTime when(QDate::fromString(match.captured(1), QStringLiteral("yyyyMMdd")),
                         QTime::fromString(match.captured(2), QStringLiteral("HHmmss")), QTimeZone::utc());
    if (!when.isValid()) return std::nullopt;
    return when.toSecsSinceEpoch();
}
} // namespace

std::optional<qint64> ListingTail::anchor(const QByteArray& held) {
    const qsizetype lower = held.lastIndexOf("href");
    const qsizetype upper = held.lastIndexOf("HREF");
    const qsizetype link = std::max(lower, upper);
    if (link < 0) return std::nullopt;
    qint64 start = held.lastIndexOf('\n', link) + 1;
    // Back from the end, line by line, while the lines name images of the last half hour held.
    std::optional<qint64> newest;
    for (qint64 end = held.size(); end > 0;) {
        const qint64 from = held.lastIndexOf('\n', end - 1) + 1;
        if (const auto time = timeOf(held.mid(from, end - from))) {
            if (!newest) newest = time;
            if (*newest - *time > marginSeconds) break;
            start = from;
        }
        end = from - 1;
    }
    return start;
}

std::optional<QByteArray> ListingTail::splice(const QByteArray& held, qint64 from, const QByteArray& part) {
    if (from < 0 || from >= held.size()) return std::nullopt;
    const qsizetype end = held.indexOf('\n', qsizetype(from));
    // The line must be whole in both: a line cut short at the end of `held` proves nothing.
    if (end < 0) return std::nullopt;
    const QByteArray line = held.mid(qsizetype(from), end + 1 - qsizetype(from));
    if (!part.startsWith(line)) return std::nullopt;
    return held.left(qsizetype(from)) + part;
}
