#pragma once
// What the program answers to --help, --version and a switch it does not know, without a display.

#include <QString>
#include <QStringList>
#include <optional>

namespace Usage {
// The switches, one line each, as the manual page lists them.
QString text();
// "Solvane <version> (build <number>)".
QString version();
// The first argument that looks like a switch but is neither ours nor one Qt takes, skipping the
// operands of the switches that take some. Nothing when every switch is known.
std::optional<QString> unknownSwitch(const QStringList& arguments);
} // namespace Usage
