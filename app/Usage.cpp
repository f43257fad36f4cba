#include "Usage.h"

#include "BuildInfo.h"

#include <QHash>

namespace {

using Usage::Group;

constexpr Usage::Switch table[] = {
    {"--selftest", "", "", 0, Group::action, "run the built-in checks",
     "One line per check; from the source tree's root the contract index is checked too. Exit 0 when every "
     "check "
     "passes."},
    {"--check-index", "", "<path-or-url>", 1, Group::action,
     "judge an imagery index, one verdict line per product",
     "The index is a file, or an http or https address. Exit 1 when any line begins with \"reject\"."},
    {"--look-test", "", "", 0, Group::action, "print the look arithmetic checks",
     "Exit 1 when any line begins with \"FAIL\"."},
    {"--export-frame", "", "<id> <out.png>", 2, Group::action,
     "write the newest frame of a product as PNG with its provenance",
     "Exit 1 when there is no frame or the file cannot be written."},
    {"--diagnose", "", "", 0, Group::action, "print the diagnostics report",
     "Settings, screens, the cache, the last pass and its sources, space weather, and how to read the log."},
    {"--refresh", "", "", 0, Group::action, "one ordinary refresh pass; waits for one already running",
     "Seeds an empty cache first. With no imagery mirror set, the pass reads NASA SDO's public image folders "
     "and "
     "makes the clips on this computer; it also fetches NOAA SWPC's space-weather files."},
    {"--prime", "", "", 0, Group::action, "download every product and wait",
     "Seeds an empty cache first; a kiosk needs this before it can run offline."},
    {"--help", "-h", "", 0, Group::action, "print the usage text", ""},
    {"--version", "", "", 0, Group::action, "print the version and build number", ""},
    {"--start", "", "", 0, Group::application, "show the imagery at once, whatever the mode",
     "The imagery plays full screen on every enabled display."},
    {"--seconds", "", "N", 1, Group::application, "quit N seconds after starting", "Fractions are allowed."},
    {"--kiosk", "", "", 0, Group::application, "run as a kiosk whatever the mode",
     "The kiosk session's command; it is left only with Ctrl+Alt+Super+Q."},
    {"solvane://...", "", "", 0, Group::application, "open a link in the running Solvane",
     "Settings, looks and products; a second start hands its links to the running one and exits."},
};

constexpr Usage::ExitStatus statuses[] = {
    {"0", "done; a refresh that was not due, or offline, is done too"},
    {"1", "a check failed, an operand is missing, or a file could not be read or written"},
    {"2", "an unknown option; --refresh, --prime: no source answered"},
    {"3", "--refresh, --prime: a product the screens show got no playable clip and had none before"},
    {"4", "--refresh: a refresh is already running, and still was after 20 minutes of waiting for it"},
    {"5", "--refresh, --prime: the cache folder could not be written (a full disk)"},
    {"128+N", "stopped by signal N (130 for Ctrl-C, 143 for SIGTERM)"},
};

constexpr int column = 33; // where the --help descriptions start
constexpr int width = 100; // and how far they run

// `text` after `head`, wrapped at word boundaries into the description column.
QString row(const QString& head, const QString& text) {
    QString out = head.leftJustified(column - 1) + QLatin1Char(' ');
    int used = column;
    bool first = true;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!first && used + 1 + word.size() > width) {
            out += QLatin1Char('\n') + QString(column, QLatin1Char(' '));
            used = column;
            first = true;
        }
        if (!first) {
            out += QLatin1Char(' ');
            ++used;
        }
        out += word;
        used += int(word.size());
        first = false;
    }
    return out + QLatin1Char('\n');
}

QString helpHead(const Usage::Switch& entry) {
    QString head = QStringLiteral("  ");
    if (*entry.alias) head += QString::fromLatin1(entry.alias) + QStringLiteral(", ");
    head += QString::fromLatin1(entry.name);
    if (*entry.operands) head += QLatin1Char(' ') + QString::fromLatin1(entry.operands);
    return head;
}

// Roff escapes: a backslash and a leading dot or quote would be read as requests; '-' is a hyphen unless
// it is escaped, and an option's dashes are minus signs.
QString roff(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\e")).replace(QLatin1Char('-'), QStringLiteral("\\-"));
    if (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char('\'')))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

QString sentence(const char* text) {
    QString out = QString::fromUtf8(text);
    if (!out.isEmpty()) out[0] = out[0].toUpper();
    return out + QLatin1Char('.');
}

const QHash<QString, int>& ours() {
    static const QHash<QString, int> switches = [] {
        QHash<QString, int> all;
        for (const Usage::Switch& entry : table) {
            if (entry.name[0] != '-') continue;
            all.insert(QString::fromLatin1(entry.name), entry.operandCount);
            if (*entry.alias) all.insert(QString::fromLatin1(entry.alias), entry.operandCount);
        }
        return all;
    }();
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

std::span<const Usage::Switch> Usage::switches() {
    return table;
}
std::span<const Usage::ExitStatus> Usage::exitStatuses() {
    return statuses;
}

QString Usage::text() {
    QString out = QStringLiteral(
        "Usage: solvane [--start] [--seconds N] [solvane://...]\n"
        "       solvane <action>\n"
        "\n"
        "Live imagery of the Sun on every display, after idle time, in a kiosk or on the desktop.\n"
        "Without an action it starts the desktop application, which lives in the tray.\n"
        "\n"
        "Actions (the first given wins; none opens a window):\n");
    for (const Switch& entry : table)
        if (entry.group == Group::action) out += row(helpHead(entry), QString::fromUtf8(entry.help));
    out += QStringLiteral("\nApplication switches:\n");
    for (const Switch& entry : table)
        if (entry.group == Group::application) out += row(helpHead(entry), QString::fromUtf8(entry.help));
    out += QStringLiteral("\nExit status:\n");
    for (const ExitStatus& status : statuses)
        out +=
            row(QStringLiteral("  ") + QString::fromLatin1(status.code), QString::fromUtf8(status.meaning));
    out += QStringLiteral("The log says why.\n\nSee solvane(1) for the files and settings.\n");
    return out;
}

QString Usage::manualOptions() {
    QString out;
    for (const Switch& entry : table) {
        out += QStringLiteral(".TP\n");
        if (entry.name[0] != '-') {
            out += QStringLiteral(".I ") + roff(QString::fromLatin1(entry.name)) + QLatin1Char('\n');
        } else {
            QString head;
            if (*entry.alias)
                head += QStringLiteral("\\fB") + roff(QString::fromLatin1(entry.alias)) +
                        QStringLiteral("\\fR, ");
            head += QStringLiteral("\\fB") + roff(QString::fromLatin1(entry.name)) + QStringLiteral("\\fR");
            for (QString operand :
                 QString::fromLatin1(entry.operands).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                operand.remove(QLatin1Char('<')).remove(QLatin1Char('>'));
                head += QStringLiteral(" \\fI") + roff(operand) + QStringLiteral("\\fR");
            }
            out += head + QLatin1Char('\n');
        }
        out += roff(sentence(entry.help));
        if (*entry.details) out += QLatin1Char(' ') + roff(QString::fromUtf8(entry.details));
        out += QLatin1Char('\n');
    }
    return out;
}

QString Usage::manualExitStatus() {
    QString out;
    for (const ExitStatus& status : statuses)
        out += QStringLiteral(".TP\n.B ") + roff(QString::fromLatin1(status.code)) + QLatin1Char('\n') +
               roff(sentence(status.meaning)) + QLatin1Char('\n');
    return out;
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
