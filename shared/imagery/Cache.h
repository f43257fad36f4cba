#pragma once
// The local cache of clips and stills, and the refresh pass that keeps it in line with the imagery host.
// Everything here is a static operation; the pure rules take plain inputs so checks can run them on
// fixed values.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace Cache {
// The verdict lines of an index, without logging; nothing when the document fails as a whole.
std::optional<QStringList> indexVerdicts(const std::optional<QByteArray>& bytes);

// Two honoured requests for an immediate check are at least this far apart.
inline constexpr std::chrono::seconds manualSpacing{3600};

// An index older than this sends the pass to the origin.
inline constexpr std::chrono::seconds staleAfter{64800};

// The forward-only rule: whether the object key `candidate` may replace a file downloaded from `than`.
// Two versioned keys ("v/...") compare by their stems; anything else is left to the host's ETag (true).
bool isNewer(const QString& candidate, const std::optional<QString>& than);

// The fall-back rule: true when the host gave no usable answer, or its index was generated more than
// 18 hours before `now`. An answer without a generated time stays on the host.
bool shouldUseOrigin(bool reached, const std::optional<QDateTime>& generated, const QDateTime& now);

// Whether a check last made at `last` is due again at `now` (equal counts as due). An invalid `last`
// (never checked) is always due.
bool isDue(const QDateTime& last, std::chrono::seconds every, const QDateTime& now);
} // namespace Cache
