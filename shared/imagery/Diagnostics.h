#pragma once
// The diagnostics report: build, settings, cache, local index, last pass and space weather as plain text,
// with the user's home folder shown as "~" so it can be pasted into a support message.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Diagnostics {
// The report for `now`, lines joined by a line feed (none after the last). Never fails: every missing
// value has a fixed text. Reads settings and cache files on the calling thread.
QString report(const QDateTime& now = QDateTime::currentDateTimeUtc());

// The user's home folder as three sources give it: $HOME, Qt's home path, the user database.
QStringList homes();

// `text` with every home path longer than one character replaced by "~", longest first, so a home
// nested in another is replaced before the shorter one.
QString redact(const QString& text, const QStringList& homePaths);

// The operating-system line's text from an os-release file (PRETTY_NAME, else NAME and VERSION_ID);
// "Linux " and the kernel release when the file names nothing.
QString operatingSystem(const QString& osRelease = QStringLiteral("/etc/os-release"));
} // namespace Diagnostics
