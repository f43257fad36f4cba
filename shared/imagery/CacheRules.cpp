#include "Cache.h"

#include <QRegularExpression>

namespace {

bool isVersioned(const QString& key) {
    return key.startsWith(QLatin1String("v/"));
}

// "v/171/20260924T204216.mp4" -> "20260924T204216"
QString stem(const QString& key) {
    const QString name = key.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

} // namespace

bool Cache::isNewer(const QString& candidate, const std::optional<QString>& than) {
    if (isVersioned(candidate) && than && isVersioned(*than)) return stem(*than) < stem(candidate);
    return true;
}

bool Cache::shouldUseOrigin(bool reached, const std::optional<QDateTime>& generated, const QDateTime& now) {
    if (!reached) return true;
    if (!generated || !generated->isValid()) return false;
    const qint64 ageMs = generated->msecsTo(now);
    return ageMs > qint64(staleAfter.count()) * 1000;
}

bool Cache::isDue(const QDateTime& last, std::chrono::seconds every, const QDateTime& now) {
    if (!last.isValid()) return true;
    return last.msecsTo(now) >= qint64(every.count()) * 1000;
}

std::optional<QDateTime> Cache::generatedTime(const QString& text) {
    static const QRegularExpression strict(
        QStringLiteral(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d{1,9})?(Z|[+-]\d{2}:\d{2})$)"));
    if (!strict.match(text).hasMatch()) return std::nullopt;
    const QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid()) return std::nullopt;
    return when;
}

Cache::TimeLimits Cache::timeLimits(Request kind) {
    using std::chrono::seconds;
    switch (kind) {
    case Request::index:
        return {seconds(20), seconds(600)};
    case Request::file:
        return {seconds(60), seconds(660)};
    case Request::fragment:
        break;
    }
    return {seconds(20), seconds(120)};
}
