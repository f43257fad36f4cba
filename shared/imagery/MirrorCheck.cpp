#include "MirrorCheck.h"

#include "Cache.h"
#include "HttpClient.h"
#include "Log.h"
#include "Settings.h"

#include <algorithm>

MirrorCheck::Outcome MirrorCheck::judge(const QString& host, const std::optional<QStringList>& verdicts) {
    Outcome outcome;
    outcome.host = host;
    if (!verdicts) {
        outcome.text = host + QStringLiteral(" answers, but with no imagery index. Not saved.");
        return outcome;
    }
    int accepted = 0;
    for (const QString& verdict : *verdicts)
        if (verdict.startsWith(QLatin1String("ok "))) ++accepted;
    const int rejected = int(verdicts->size()) - accepted;
    const QString refused = rejected == 0 ? QString() : QStringLiteral(", %1 refused").arg(rejected);
    if (accepted == 0) {
        outcome.text =
            host + QStringLiteral(" lists no usable products") + refused + QStringLiteral(". Not saved.");
        return outcome;
    }
    outcome.usable = true;
    outcome.text = host +
                   QStringLiteral(" answers with %1 product%2").arg(accepted).arg(accepted == 1 ? "" : "s") +
                   refused + QLatin1Char('.');
    return outcome;
}

MirrorCheck::Outcome MirrorCheck::check(const QString& typed) {
    const QString host = Settings::hostName(typed.trimmed());
    Outcome outcome;
    outcome.host = host;
    // A host never holds spaces or control characters; refusing them keeps the URL ours.
    const bool plausible = !host.isEmpty() && std::none_of(host.begin(), host.end(), [](QChar c) {
        return c.isSpace() || c.unicode() < 0x20 || c == QLatin1Char('?') || c == QLatin1Char('#') ||
               c == QLatin1Char('@');
    });
    if (!plausible) {
        outcome.text = QStringLiteral("Type the mirror's host name, such as sdo-mirror.example.org.");
        return outcome;
    }
    QString error;
    const auto bytes =
        HttpClient::get(QStringLiteral("https://") + host + QStringLiteral("/manifest/index.json"), &error,
                        HttpClient::Protocols::httpsOnly, Cache::largestIndexBytes);
    if (!bytes) {
        while (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        log(QStringLiteral("mirror check: cannot read the index of ") + host + QStringLiteral(": ") + error,
            LogArea::cache);
        outcome.text = QStringLiteral("Can't reach ") + host + QStringLiteral(": ") + error +
                       QStringLiteral(". Not saved.");
        return outcome;
    }
    outcome = judge(host, Cache::indexVerdicts(bytes));
    log(QStringLiteral("mirror check: ") + outcome.text, LogArea::cache);
    return outcome;
}
