#include "PlainCause.h"

#include <QRegularExpression>
#include <initializer_list>

namespace {

bool mentions(const QString& text, std::initializer_list<const char*> phrases) {
    for (const char* phrase : phrases)
        if (text.contains(QLatin1String(phrase), Qt::CaseInsensitive)) return true;
    return false;
}

} // namespace

namespace PlainCause {

Cause of(const QString& reason) {
    // Our own "the server answered with status 503" and "HTTP 503", and libcurl's "The requested URL
    // returned error: 503".
    static const QRegularExpression status(
        QStringLiteral(R"((?:\bstatus |^HTTP |returned error: )(\d{3})\b)"),
        QRegularExpression::CaseInsensitiveOption);
    if (const auto match = status.match(reason); match.hasMatch())
        return {Kind::serverStatus, match.captured(1).toInt()};
    if (mentions(reason, {"certificate", "SSL peer", "issuer"})) return {Kind::certificate};
    // Before the rest: "Resolving timed out" and "Failed to connect ...: Timeout was reached" are time.
    if (mentions(reason, {"timed out", "timeout", "too slow"})) return {Kind::timedOut};
    if (mentions(reason, {"resolve", "name resolution", "Name or service not known"}))
        return {Kind::hostNotFound};
    if (mentions(reason, {"connect to", "couldn't connect", "could not connect", "connection refused",
                          "network is unreachable", "no route to host"}))
        return {Kind::noConnection};
    if (mentions(reason, {"connection reset", "empty reply", "recv failure", "send failure",
                          "failure when receiving", "transfer closed", "partial file"}))
        return {Kind::connectionBroke};
    return {Kind::other};
}

QString words(const Cause& cause) {
    switch (cause.kind) {
    case Kind::noConnection:
        return QStringLiteral("no connection");
    case Kind::hostNotFound:
        return QStringLiteral("the host name could not be found");
    case Kind::timedOut:
        return QStringLiteral("timed out");
    case Kind::certificate:
        return QStringLiteral("a certificate problem");
    case Kind::serverStatus:
        return QStringLiteral("the server said %1").arg(cause.status);
    case Kind::connectionBroke:
        return QStringLiteral("the connection broke");
    case Kind::other:
        break;
    }
    return QStringLiteral("no usable answer");
}

QString unreachable(const QString& source, const QString& reason, const std::optional<QDateTime>& retry,
                    const QLocale& locale) {
    QString text = QStringLiteral("Can't reach ") + source + QStringLiteral(" (") + words(of(reason)) +
                   QStringLiteral(").");
    if (retry && retry->isValid())
        text += QStringLiteral(" Trying again at ") +
                locale.toString(retry->toLocalTime().time(), QLocale::ShortFormat) + QLatin1Char('.');
    return text;
}

bool showsUnreachable(const SourceStatus::State& state) {
    return state.pass && !state.pass->reached && !state.downloading && !state.offline;
}

QString imageryLine(const SourceStatus::State& state, const std::optional<QDateTime>& retry) {
    if (!showsUnreachable(state)) return SourceStatus::lineWithNetwork(state);
    const QString host =
        state.pass->host.isEmpty() ? SourceStatus::configuredHost(state.imageryHost) : state.pass->host;
    return unreachable(SourceStatus::sourceName(host), state.pass->reason, retry);
}

} // namespace PlainCause
