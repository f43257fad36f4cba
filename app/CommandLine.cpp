#include "CommandLine.h"

#include "Usage.h"

#include <cstdio>

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
    line.kioskSession = line.has(QStringLiteral("--kiosk"));
    // A link is any argument with a scheme, except the operand of --seconds; the handler refuses the
    // ones that are not ours, with a log line.
    const qsizetype secondsAt = arguments.indexOf(QStringLiteral("--seconds"));
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.startsWith(QLatin1Char('-')) || (secondsAt >= 0 && i == secondsAt + 1)) continue;
        const QUrl url(argument);
        if (url.isValid() && url.scheme().size() > 1) line.links << url;
    }
    return line;
}

std::optional<QString> CommandLine::operand(const QString& switchName, int offset) const {
    const qsizetype at = allArgs.indexOf(switchName);
    if (at < 0 || at + offset >= allArgs.size()) return std::nullopt;
    return allArgs.at(at + offset);
}

std::optional<int> CommandLine::runAction() const {
    // Asking for help or the version never starts anything, wherever the switch stands.
    if (has(QStringLiteral("--help")) || has(QStringLiteral("-h"))) {
        std::fputs(Usage::text().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (has(QStringLiteral("--version"))) {
        Actions::printLine(stdout, Usage::version());
        return 0;
    }
    // A mistyped switch would otherwise start the whole application, or run an action it was
    // not meant for.
    if (const auto unknown = Usage::unknownSwitch(allArgs)) {
        Actions::printLine(stderr,
                           QStringLiteral("solvane: unknown option ") + Actions::escapedControls(*unknown));
        std::fputs(Usage::text().toLocal8Bit().constData(), stderr);
        return 2;
    }
    if (has(QStringLiteral("--selftest"))) return Actions::selfTest();
    if (has(QStringLiteral("--check-index"))) {
        const auto source = operand(QStringLiteral("--check-index"));
        if (!source) {
            std::fputs("usage: Solvane --check-index <path-or-url>\n", stderr);
            return 1;
        }
        return Actions::checkIndex(*source);
    }
    if (has(QStringLiteral("--look-test"))) return Actions::lookTest();
    if (has(QStringLiteral("--export-frame"))) {
        if (!operand(QStringLiteral("--export-frame"), 2)) {
            std::fputs("usage: Solvane --export-frame <product-id> <out.png>\n", stderr);
            return 1;
        }
        return Actions::exportFrame(*operand(QStringLiteral("--export-frame")),
                                    *operand(QStringLiteral("--export-frame"), 2));
    }
    if (has(QStringLiteral("--diagnose"))) return Actions::diagnose();
    // With both switches only the ordinary refresh runs.
    if (refreshOnly) return Actions::refresh();
    if (primeOnly) return Actions::prime();
    return std::nullopt;
}
