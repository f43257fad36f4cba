#pragma once
// The command-line side of the program: the values the entry point sets once, and the one-shot actions.

#include <QList>
#include <QStringList>
#include <QUrl>
#include <cstdio>
#include <optional>

struct CommandLine {
    QStringList allArgs;            // the process arguments without the program path
    std::optional<double> autoQuit; // seconds after launch to quit, from the first --seconds
    bool primeOnly = false;
    bool refreshOnly = false;
    bool forceStart = false;
    bool kioskSession = false; // --kiosk: this run is a kiosk whatever the mode (the kiosk session)
    QList<QUrl> links;         // arguments with a URL scheme (solvane://..., as the desktop's %U gives)

    static CommandLine parse(const QStringList& argumentsWithoutProgram);

    // The operand that directly follows the first occurrence of a switch, if any.
    std::optional<QString> operand(const QString& switchName, int offset = 1) const;
    bool has(const QString& switchName) const { return allArgs.contains(switchName); }

    // The first command-line action that applies, in this order.
    enum class Action {
        none,
        help,
        version,
        unknownSwitch,
        selfTest,
        checkIndex,
        lookTest,
        exportFrame,
        diagnose,
        refresh,
        prime
    };
    Action action() const;

    // Runs the first command-line action that applies and gives its exit status, or nothing when the
    // graphical application should start. Writes to standard output and standard error only.
    std::optional<int> runAction() const;
    // The same for the actions that need neither Qt Gui, FFmpeg, Qt Widgets nor the network (help,
    // version, an unknown switch, --check-index of a file, --diagnose), which the program runs before it
    // loads the application; nothing for every other action and for the application.
    std::optional<int> runLightAction() const;
};

// Each action writes its output and gives the process's exit status. One file each under actions/.
namespace Actions {
int selfTest(); // may end the process itself
// Reads an index at an http(s) address: its body, or nothing with the reason in `error`.
using IndexDownload = std::optional<QByteArray> (*)(const QString& address, QString* error);
// Judges the index in a file, or at an address through `download` (which only the application's part
// gives, as only it loads the network library).
int checkIndex(const QString& source, IndexDownload download = nullptr);
// Whether a --check-index source is an http(s) address rather than a file.
bool isAddress(const QString& source);
int lookTest();
int exportFrame(const QString& productID, const QString& outputPath);
int diagnose();
int refresh();
int prime();

// Writes a whole line (a line feed appended) to stdout or stderr and flushes it.
void printLine(FILE* stream, const QString& line);
// Control characters shown as escapes ("\n", "\x1b"), so untrusted text is one line and sends the
// terminal nothing.
QString escapedControls(const QString& text);
// For actions not built yet: says so on standard error and gives status 2.
int notBuiltYet(const QString& what);
} // namespace Actions
