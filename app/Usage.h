#pragma once
// What the program answers to --help, --version and a switch it does not know, without a display. One
// table of switches and exit statuses feeds both --help and the manual page, so the two cannot drift.

#include <QString>
#include <QStringList>
#include <optional>
#include <span>

namespace Usage {

enum class Group { action, application };

struct Switch {
    const char* name;     // "--check-index"
    const char* alias;    // another spelling ("-h"), or empty
    const char* operands; // "<path-or-url>", or empty
    int operandCount;
    Group group;
    const char* help;    // the --help line, lower case, no full stop
    const char* details; // what the manual page adds, or empty
};

struct ExitStatus {
    const char* code;
    const char* meaning;
};

std::span<const Switch> switches();
std::span<const ExitStatus> exitStatuses();

// The --help text.
QString text();
// The manual page's OPTIONS and EXIT STATUS sections in roff (man macros).
QString manualOptions();
QString manualExitStatus();
// "Solvane <version> (build <number>)".
QString version();
// The first argument that looks like a switch but is neither ours nor one Qt takes, skipping the
// operands of the switches that take some. Nothing when every switch is known.
std::optional<QString> unknownSwitch(const QStringList& arguments);

} // namespace Usage
