#pragma once
// Why the imagery source could not be reached, as a person reads it in the tray and the Preferences
// window: one of a few plain causes taken from the transfer library's own words, which the log and the
// diagnostics report keep as they are. Pure functions on plain values.

#include "SourceStatus.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

namespace PlainCause {

enum class Kind { noConnection, hostNotFound, timedOut, certificate, serverStatus, connectionBroke, other };

struct Cause {
    Kind kind = Kind::other;
    int status = 0; // the HTTP status, for serverStatus
    bool operator==(const Cause&) const = default;
};

// The kind of failure behind a pass's recorded reason (libcurl's message, or our own words).
Cause of(const QString& reason);

// "no connection", "the host name could not be found", "timed out", "a certificate problem", "the
// server said 503", "the connection broke", or "no usable answer".
QString words(const Cause& cause);

// "Can't reach NASA SDO (no connection). Trying again at 14:20." The second sentence only when the next
// try is known; its time in the locale's short style.
QString unreachable(const QString& source, const QString& reason, const std::optional<QDateTime>& retry,
                    const QLocale& locale = QLocale());

// Whether the state is a source that could not be reached, with nothing running and online: the moment
// for the plain sentence and a Try Again.
bool showsUnreachable(const SourceStatus::State& state);

// The imagery line of the tray and the Preferences window: the plain sentence when the source could not
// be reached, else what SourceStatus says (with the metered network's hold).
QString imageryLine(const SourceStatus::State& state, const std::optional<QDateTime>& retry);

} // namespace PlainCause
