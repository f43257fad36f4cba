#include "Cache.h"
#include "CommandLine.h"
#include "Log.h"

#include <QFile>

namespace {

// Reads at most Cache::largestIndexBytes: an endless source (/dev/zero, a FIFO fed for ever) fails
// once past the limit instead of filling memory.
std::optional<QByteArray> readFile(const QString& source, QString* error) {
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    QByteArray bytes;
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(chunk.data(), chunk.size());
        if (got < 0) {
            *error = file.errorString();
            return std::nullopt;
        }
        if (got == 0) return bytes;
        if (bytes.size() + got > Cache::largestIndexBytes) {
            *error = QStringLiteral("the file is larger than %1 MiB").arg(Cache::largestIndexBytes >> 20);
            return std::nullopt;
        }
        bytes.append(chunk.constData(), got);
    }
}

std::optional<QByteArray> readSource(const QString& source, Actions::IndexDownload download) {
    QString error = QStringLiteral("this part of the program does not read addresses");
    std::optional<QByteArray> bytes;
    if (!Actions::isAddress(source))
        bytes = readFile(source, &error);
    else if (download)
        bytes = download(source, &error);
    if (!bytes)
        log(QStringLiteral("check-index: cannot read ") + source + QStringLiteral(": ") + error,
            LogArea::app);
    return bytes;
}

} // namespace

QString Actions::escapedControls(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            shown += QStringLiteral("\\n");
        else if (u == u'\r')
            shown += QStringLiteral("\\r");
        else if (u == u'\t')
            shown += QStringLiteral("\\t");
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029)
            shown += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

bool Actions::isAddress(const QString& source) {
    return source.startsWith(QLatin1String("https://")) || source.startsWith(QLatin1String("http://"));
}

int Actions::checkIndex(const QString& source, IndexDownload download) {
    const auto bytes = readSource(source, download);
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
        // Keys come from whoever wrote the index: one product stays one line, and no escape sequence
        // reaches the terminal.
        Actions::printLine(stdout, escapedControls(verdict));
        rejected = rejected || verdict.startsWith(QLatin1String("reject"));
    }
    return rejected ? 1 : 0;
}
