#include "Usage.h"

#include "BuildInfo.h"

#include <QHash>

namespace {

// Our switches and how many operands follow each.
const QHash<QString, int>& ours() {
    static const QHash<QString, int> switches{
        {QStringLiteral("--help"), 0},         {QStringLiteral("-h"), 0},
        {QStringLiteral("--version"), 0},      {QStringLiteral("--selftest"), 0},
        {QStringLiteral("--check-index"), 1},  {QStringLiteral("--look-test"), 0},
        {QStringLiteral("--export-frame"), 2}, {QStringLiteral("--diagnose"), 0},
        {QStringLiteral("--refresh"), 0},      {QStringLiteral("--prime"), 0},
        {QStringLiteral("--start"), 0},        {QStringLiteral("--seconds"), 1},
        {QStringLiteral("--kiosk"), 0},
    };
    return switches;
}

// The options QApplication takes for itself (its documented ones), so a desktop entry or a developer
// passing them still starts the program.
const QHash<QString, int>& qtOptions() {
    static const QHash<QString, int> options{
        {QStringLiteral("-platform"), 1},        {QStringLiteral("-platformpluginpath"), 1},
        {QStringLiteral("-platformtheme"), 1},   {QStringLiteral("-plugin"), 1},
        {QStringLiteral("-qwindowgeometry"), 1}, {QStringLiteral("-qwindowicon"), 1},
        {QStringLiteral("-qwindowtitle"), 1},    {QStringLiteral("-display"), 1},
        {QStringLiteral("-geometry"), 1},        {QStringLiteral("-style"), 1},
        {QStringLiteral("-stylesheet"), 1},      {QStringLiteral("-session"), 1},
        {QStringLiteral("-reverse"), 0},         {QStringLiteral("-widgetcount"), 0},
        {QStringLiteral("-nograb"), 0},          {QStringLiteral("-dograb"), 0},
    };
    return options;
}

} // namespace

QString Usage::text() {
    return QStringLiteral(
        "Usage: solvane [--start] [--seconds N] [solvane://...]\n"
        "       solvane <action>\n"
        "\n"
        "Live imagery of the Sun on every display, after idle time, in a kiosk or on the desktop.\n"
        "Without an action it starts the desktop application, which lives in the tray.\n"
        "\n"
        "Actions (the first given wins; none opens a window):\n"
        "  --selftest                     run the built-in checks\n"
        "  --check-index <path-or-url>    judge an imagery index, one verdict line per product\n"
        "  --look-test                    print the look arithmetic checks\n"
        "  --export-frame <id> <out.png>  write the newest frame of a product as PNG with its provenance\n"
        "  --diagnose                     print the diagnostics report\n"
        "  --refresh                      one ordinary refresh pass; waits for one already running\n"
        "  --prime                        download every product and wait\n"
        "  -h, --help                     print this text\n"
        "  --version                      print the version and build number\n"
        "\n"
        "Application switches:\n"
        "  --start                        show the imagery at once, whatever the mode\n"
        "  --seconds N                    quit N seconds after starting\n"
        "  --kiosk                        run as a kiosk whatever the mode\n"
        "  solvane://...                  open a link in the running Solvane\n"
        "\n"
        "Exit status:\n"
        "  0                              done; a refresh that was not due, or offline, is done too\n"
        "  1                              a check failed, an operand is missing, or a file could not be\n"
        "                                 read or written\n"
        "  2                              an unknown option; --refresh, --prime: no source answered\n"
        "  3                              --refresh, --prime: a product the screens show got no playable\n"
        "                                 clip and had none before\n"
        "  4                              --refresh: a refresh is already running, and still was after\n"
        "                                 20 minutes of waiting for it\n"
        "  5                              --refresh, --prime: the cache folder could not be written\n"
        "                                 (a full disk)\n"
        "  128+N                          stopped by signal N (130 for Ctrl-C, 143 for SIGTERM)\n"
        "The log says why.\n"
        "\n"
        "See solvane(1) for the files and settings.\n");
}

QString Usage::version() {
    return QStringLiteral("Solvane ") + QString::fromUtf8(BuildInfo::version) + QStringLiteral(" (build ") +
           QString::fromUtf8(BuildInfo::buildNumber) + QLatin1Char(')');
}

std::optional<QString> Usage::unknownSwitch(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) continue;
        if (const auto known = ours().find(argument); known != ours().end()) {
            i += *known;
            continue;
        }
        if (const auto qt = qtOptions().find(argument); qt != qtOptions().end()) {
            i += *qt;
            continue;
        }
        return argument;
    }
    return std::nullopt;
}
