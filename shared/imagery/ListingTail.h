#pragma once
// Keeping a day folder's listing current by asking only for its end. NASA SDO's listings are sorted by
// name, and names begin with the time, so a new image adds a line near the end and leaves the lines
// before it as they were: a ranged request from the last entry we hold brings every new line (a few
// tens of kilobytes, where the whole day's listing reaches 1.77 MB). What arrives is joined to the copy
// held only when it begins with the line held there; anything else asks for the whole listing again.
// Pure functions on bytes.

#include <QByteArray>
#include <optional>

namespace ListingTail {

// Where a ranged request for a newer copy of `held` starts: the start of the line that holds its last
// link (its last entry). Nothing when `held` holds no link.
std::optional<qint64> anchor(const QByteArray& held);

// The newer listing: `held` up to `from`, then `part` (the server's listing from `from` on), when `part`
// begins with the whole line `held` has at `from`. Nothing when it does not (the listing changed in
// another way than growing at its end).
std::optional<QByteArray> splice(const QByteArray& held, qint64 from, const QByteArray& part);

} // namespace ListingTail
