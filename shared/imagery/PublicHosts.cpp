// The https addresses of the public hosts and their environment overrides. Apart from the transfers: the
// diagnostics report reads them too, and the program's light commands must not bring in libcurl.

#include "DirectSource.h"
#include "HttpClient.h"

#include <QUrl>
#include <cstdlib>

namespace {
constexpr const char* sdoBase = "https://sdo.gsfc.nasa.gov";
}

std::optional<QString> HttpClient::httpsBase(const char* fallback, const char* override, const QString& what,
                                             QString* error) {
    QString text = QString::fromLatin1(fallback);
    if (const char* given = std::getenv(override); given && *given) text = QString::fromUtf8(given);
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty()) {
        if (error) *error = what + QStringLiteral(" is not an https address: ") + text;
        return std::nullopt;
    }
    return text;
}

std::optional<QString> DirectSource::base(QString* error) {
    return HttpClient::httpsBase(sdoBase, "SOLVANE_SDO_BASE", QStringLiteral("the archive address"), error);
}
