#include "CommandLine.h"

#include "Cache.h"
#include "HttpClient.h"

#include <QFile>
#include <cstdio>

namespace {

void printLine(FILE* stream, const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Actions that later work will build say so, so nobody mistakes them for working.
int notBuiltYet(const QString& what) {
    printLine(stderr, QStringLiteral("solvane: ") + what + QStringLiteral(" is not available in this build yet"));
    return 2;
}

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

CommandLine CommandLine::parse(const QStringList& arguments) {
    CommandLine line;
    line.allArgs = arguments;
    if (auto seconds = line.operand(QStringLiteral("--seconds"))) {
        bool ok = false;
        const double value = seconds->toDouble(&ok);
        if (ok) line.autoQuit = value;
    }
    line.primeOnly = line.has(QStringLiteral("--prime"));
    line.refreshOnly = line.has(QStringLiteral("--refresh"));
    line.forceStart = line.has(QStringLiteral("--start"));
    return line;
}

std::optional<QString> CommandLine::operand(const QString& switchName, int offset) const {
    const qsizetype at = allArgs.indexOf(switchName);
    if (at < 0 || at + offset >= allArgs.size()) return std::nullopt;
    return allArgs.at(at + offset);
}

int Actions::checkIndex(const QString& source) {
    const auto bytes = readSource(source);
    if (!bytes) {
        printLine(stdout, QStringLiteral("reject ? cannot read ") + source);
        return 1;
    }
    const auto verdicts = Cache::indexVerdicts(bytes);
    if (!verdicts) {
        printLine(stdout, QStringLiteral("reject ? no products array in ") + source);
        return 1;
    }
    bool rejected = false;
    for (const QString& verdict : *verdicts) {
        printLine(stdout, verdict);
        rejected = rejected || verdict.startsWith(QLatin1String("reject"));
    }
    return rejected ? 1 : 0;
}

std::optional<int> CommandLine::runAction() const {
    if (has(QStringLiteral("--selftest"))) return notBuiltYet(QStringLiteral("--selftest"));
    if (has(QStringLiteral("--check-index"))) {
        const auto source = operand(QStringLiteral("--check-index"));
        if (!source) {
            std::fputs("usage: Solvane --check-index <path-or-url>\n", stderr);
            return 1;
        }
        return Actions::checkIndex(*source);
    }
    if (has(QStringLiteral("--look-test"))) return notBuiltYet(QStringLiteral("--look-test"));
    if (has(QStringLiteral("--export-frame"))) {
        if (!operand(QStringLiteral("--export-frame"), 2)) {
            std::fputs("usage: Solvane --export-frame <product-id> <out.png>\n", stderr);
            return 1;
        }
        return notBuiltYet(QStringLiteral("--export-frame"));
    }
    if (has(QStringLiteral("--diagnose"))) return notBuiltYet(QStringLiteral("--diagnose"));
    if (refreshOnly) return notBuiltYet(QStringLiteral("--refresh"));
    if (primeOnly) return notBuiltYet(QStringLiteral("--prime"));
    return std::nullopt;
}
