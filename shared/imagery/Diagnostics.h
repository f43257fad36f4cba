#pragma once
// The diagnostics report: build, settings, cache, local index, last pass and space weather as plain text,
// with the user's home folder shown as "~" so it can be pasted into a support message.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace Diagnostics {
// How often the running program looks at the cache and its source, in seconds (the hourly refresh).
inline constexpr int checkEverySeconds = 3600;

// The refresh cadence in words, the one way the windows, the log and the report say it: "checks every
// hour; fetches new images once a day (twice a day for 720), sooner after a failed check or for a
// missing product".
QString cadence(double refreshMinutes);

// Where to read the program's log with its times: the journal keeps every line under this identifier.
QString logHint();

// A screen as the report, Preferences and the record name it: "DP-1, 1920x1080".
QString screenText(const QString& name, int width, int height);

// The file in which the running program records its connected screens, one screenText a line after a
// first line with its process id: $XDG_RUNTIME_DIR/solvane-screens (the temporary folder without one).
QString screensRecord();
// Writes the record atomically; false with a log line when it cannot.
bool recordScreens(const QStringList& screens, const QString& path = screensRecord());
// The screens a running program recorded, or nothing when no program that still runs wrote the record.
std::optional<QStringList> connectedScreens(const QString& path = screensRecord());

// The report for `now`, lines joined by a line feed (none after the last). Never fails: every missing
// value has a fixed text. Reads settings and cache files on the calling thread. `screens`: the
// connected screens (the running program's record by default); nothing when they are not known.
QString report(const QDateTime& now = QDateTime::currentDateTimeUtc(),
               const std::optional<QStringList>& screens = connectedScreens());

// The user's home folder as three sources give it: $HOME, Qt's home path, the user database.
QStringList homes();

// `text` with every home path longer than one character replaced by "~", longest first, so a home
// nested in another is replaced before the shorter one.
QString redact(const QString& text, const QStringList& homePaths);

// The operating-system line's text from an os-release file (PRETTY_NAME, else NAME and VERSION_ID);
// "Linux " and the kernel release when the file names nothing.
QString operatingSystem(const QString& osRelease = QStringLiteral("/etc/os-release"));
} // namespace Diagnostics
