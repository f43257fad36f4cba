#pragma once
// Keeping a day folder's listing current by asking only for its end. NASA SDO's listings are sorted by
// name, and names begin with the time, so a new image adds a line near the end and leaves the lines
// before it as they were. Not quite at the end: channels and sizes are listed minutes apart, so an image
// can appear before one taken a little after it. A ranged request from the first entry of the last half
// hour held brings every new line (a few tens of kilobytes, where the whole day's listing reaches
// 1.77 MB). What arrives is joined to the copy held only when it begins with the line held there;
// anything else asks for the whole listing again. Pure functions on bytes.

#include <QByteArray>
#include <optional>

namespace ListingTail {

// How far before the newest entry held a ranged request starts.
inline constexpr qint64 marginSeconds = 30 * 60;
// What a listing of all of NASA's channels and sizes grows by in 20 minutes (about 160 lines).
inline constexpr qint64 newBytesPerPass = 24 * 1024;

// Where a ranged request for a newer copy of `held` starts: the start of the line of the first entry
// taken less than marginSeconds before its newest entry (the last line with a link when no entry names
// a time). Nothing when `held` holds no link.
std::optional<qint64> anchor(const QByteArray& held);

// The newer listing: `held` up to `from`, then `part` (the server's listing from `from` on), when `part`
// begins with the whole line `held` has at `from`. Nothing when it does not (the listing changed in
// another way than growing at its end).
std::optional<QByteArray> splice(const QByteArray& held, qint64 from, const QByteArray& part);

} // namespace ListingTail
