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

CommandLine::Action CommandLine::action() const {
    // Asking for help or the version never starts anything, wherever the switch stands.
    if (has(QStringLiteral("--help")) || has(QStringLiteral("-h"))) return Action::help;
    if (has(QStringLiteral("--version"))) return Action::version;
    // A mistyped switch would otherwise start the whole application, or run an action it was
    // not meant for.
    if (Usage::unknownSwitch(allArgs)) return Action::unknownSwitch;
    if (has(QStringLiteral("--selftest"))) return Action::selfTest;
    if (has(QStringLiteral("--check-index"))) return Action::checkIndex;
    if (has(QStringLiteral("--look-test"))) return Action::lookTest;
    if (has(QStringLiteral("--export-frame"))) return Action::exportFrame;
    if (has(QStringLiteral("--diagnose"))) return Action::diagnose;
    // With both switches only the ordinary refresh runs.
    if (refreshOnly) return Action::refresh;
    if (primeOnly) return Action::prime;
    return Action::none;
}

std::optional<int> CommandLine::runLightAction() const {
    switch (action()) {
    case Action::help:
        std::fputs(Usage::text().toLocal8Bit().constData(), stdout);
        return 0;
    case Action::version:
        Actions::printLine(stdout, Usage::version());
        return 0;
    case Action::unknownSwitch:
        Actions::printLine(stderr, QStringLiteral("solvane: unknown option ") +
                                       Actions::escapedControls(*Usage::unknownSwitch(allArgs)));
        std::fputs(Usage::text().toLocal8Bit().constData(), stderr);
        return 2;
    case Action::checkIndex:
        if (const auto source = operand(QStringLiteral("--check-index"))) {
            // An address needs the network library, which only the application's part loads.
            if (Actions::isAddress(*source)) return std::nullopt;
            return Actions::checkIndex(*source);
        }
        std::fputs("usage: Solvane --check-index <path-or-url>\n", stderr);
        return 1;
    case Action::diagnose:
        return Actions::diagnose();
    default:
        return std::nullopt;
    }
}
