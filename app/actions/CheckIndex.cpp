#include "Cache.h"
#include "CommandLine.h"
#include "HttpClient.h"

#include <QFile>

namespace {

std::optional<QByteArray> readSource(const QString& source) {
    if (source.startsWith(QLatin1String("https://")) || source.startsWith(QLatin1String("http://")))
        return HttpClient::get(source);
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

} // namespace

int Actions::checkIndex(const QString& source) {
    const auto bytes = readSource(source);
    if (!bytes) {
        Actions::printLine(stdout, QStringLiteral("reject ? cannot read ") + source);
        return 1;
    }
    const auto verdicts = Cache::indexVerdicts(bytes);
    if (!verdicts) {
        Actions::printLine(stdout, QStringLiteral("reject ? no products array in ") + source);
        return 1;
    }
    bool rejected = false;
    for (const QString& verdict : *verdicts) {
        Actions::printLine(stdout, verdict);
        rejected = rejected || verdict.startsWith(QLatin1String("reject"));
    }
    return rejected ? 1 : 0;
}
