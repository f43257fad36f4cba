#include "Store.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <QUrlQuery>

std::optional<QUrl> Store::link(const QString& id, const std::optional<QDateTime>& frame,
                                const QString& storeHost) {
    QUrl url(QStringLiteral("https://") + storeHost + QLatin1Char('/'), QUrl::StrictMode);
    if (storeHost.isEmpty() || !url.isValid() || url.host().isEmpty() || url.hasQuery() || url.hasFragment())
        return std::nullopt;

    QUrlQuery query;
    query.addQueryItem(QStringLiteral("utm_source"), QStringLiteral("solvane"));
    if (frame && frame->isValid()) {
        static const QLocale posix(QLocale::C);
        const QDateTime utc = frame->toTimeZone(QTimeZone::utc());
        query.addQueryItem(QStringLiteral("d"), posix.toString(utc, QStringLiteral("yyyy-MM-dd")));
        query.addQueryItem(QStringLiteral("t"), posix.toString(utc, QStringLiteral("HH:mm")));
    }
    static const QRegularExpression wholeNumber(QStringLiteral("\\A[0-9]+\\z"));
    if (wholeNumber.match(id).hasMatch()) query.addQueryItem(QStringLiteral("wl"), id);
    url.setQuery(query);
    if (!url.isValid()) return std::nullopt;
    return url;
}

std::optional<QUrl> Store::link(const CacheEntry& cached, const QString& storeHost) {
    std::optional<QDateTime> end;
    const QDateTime parsed = QDateTime::fromString(cached.updated, Qt::ISODate);
    if (parsed.isValid()) end = parsed;
    return link(cached.id, end, storeHost);
}
