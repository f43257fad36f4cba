#pragma once
// The choosing rule of a screen's playlist, and the process-wide record of what every screen shows, so
// screens avoid showing the same product at once and a screen avoids repeating the clip just shown.

#include <QSet>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>

namespace Playlist {
// The position in `ids` of the clip to play next, visiting positions cyclically from `from` (>= 0). A
// candidate scores 2 when another screen holds it plus 1 when it is `last`; the first candidate with the
// lowest score wins. Nothing only when `ids` is empty.
std::optional<int> nextIndex(const QStringList& ids, int from, const QSet<QString>& elsewhere,
                             const std::optional<QString>& last);

// The cursor from which nextIndex finds the clip before the one playing (the cursor is one past the
// playing clip), wrapping from the first to the last; 0 for an empty playlist.
int rewound(int cursor, int count);
} // namespace Playlist

// Which product each live view shows. Main thread only: it has no lock.
namespace OnScreen {
// An owner is identified by its address; it must release before it dies.
using Owner = const void*;

void claim(const QString& id, Owner by);
void release(Owner by);
// The ids held by every owner other than `than`.
QSet<QString> heldElsewhere(Owner than);
// Every claim, for tests and diagnostics.
const std::map<Owner, QString>& claims();
} // namespace OnScreen
