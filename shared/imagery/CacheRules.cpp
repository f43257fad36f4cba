#include "Cache.h"

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
