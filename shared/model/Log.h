#pragma once
// One function for every report the program makes: a whole line on standard error and an entry in the
// system log (journald) under the area's category. Safe from any thread.

#include <QString>

enum class LogArea { app, cache, desktop, update, saver, store };

namespace Log {
// The system-log subsystem every entry carries.
inline constexpr const char* subsystem = "example.tessly.solvane";

// The area's raw value, used as the system-log category.
const char* rawValue(LogArea area);

// Replaces where standard-error lines go (a file descriptor), for tests. Returns the previous one.
int redirectStandardError(int fd);
} // namespace Log

// Writes "solvane: " + message + "\n" to standard error as one write, then the message to journald
// (only where journald runs; elsewhere that half is skipped silently).
void log(const QString& message, LogArea area);
