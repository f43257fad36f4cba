#include "DeepLink.h"

#include "Catalog.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// The path's components, decoded one by one (so an encoded "/" stays inside its component), without the
// separators themselves.
QStringList pathComponents(const QUrl& url) {
    QStringList components;
    const QString encoded = url.path(QUrl::FullyEncoded);
    for (const QString& piece : encoded.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        components << QUrl::fromPercentEncoding(piece.toUtf8());
    return components;
}

bool isName(const QString& text) {
    // \A and \z, not ^ and $: a "$" also matches before a final line feed.
    static const QRegularExpression pattern(QStringLiteral("\\A[a-z0-9_-]{1,32}\\z"));
    return pattern.match(text).hasMatch();
}

} // namespace

std::optional<DeepLink> DeepLink::parse(const QUrl& url) {
    if (!url.isValid() || url.scheme().toLower() != QLatin1String(scheme)) return std::nullopt;
    const QString host = url.host().toLower();
    if (host.isEmpty()) return std::nullopt;

    const QStringList components = pathComponents(url);
    if (components.size() >= 2) return std::nullopt;
    const std::optional<QString> argument =
        components.isEmpty() ? std::nullopt : std::optional<QString>(components.front());

    if (host == QLatin1String("settings")) return argument ? std::nullopt : std::optional(settings());
    if (host == QLatin1String("mini")) return argument ? std::nullopt : std::optional(mini());
    if (host == QLatin1String("product")) {
        if (!argument || !Catalog::contains(*argument)) return std::nullopt;
        return product(*argument);
    }
    if (host == QLatin1String("layout")) {
        if (!argument || !isName(*argument)) return std::nullopt;
        return layout(*argument);
    }
    if (host == QLatin1String("look")) {
        if (!argument || !isName(*argument)) return std::nullopt;
        return look(*argument);
    }
    return std::nullopt;
}
