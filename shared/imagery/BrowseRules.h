#pragma once
// The rules of NASA SDO's public browse archive, as pure functions: which names in a day folder's
// listing are images we may use, the 20-minute slots of a 48-hour clip, which image each slot shows,
// which day folders can hold new images, and whether a downloaded file is a whole JPEG of the right size.
// Everything read from the archive is untrusted: names are judged one by one, files by their bytes.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <vector>

namespace Browse {

// The pixel size of the images we fetch (also the clip's size).
inline constexpr int imageSize = 1024;
// One slot per 20 minutes of UTC, starting at :00, :20 and :40; a clip shows 144 of them (48 hours).
inline constexpr qint64 slotSeconds = 1200;
inline constexpr int windowSlots = 144;
// A name stamped further ahead of our clock than this is not believed.
inline constexpr qint64 futureSlackSeconds = 600;

// HMI's pictures carry letter codes in their names ("HMIIC", "HMIB"); they stand here as numbers that no
// AIA wavelength uses, so every channel is one number in the store and in the clip plans.
inline constexpr int hmiIntensitygram = 10001; // NASA's colourised intensitygram, "HMIIC"
inline constexpr int hmiMagnetogram = 10002;   // the line-of-sight magnetogram, "HMIB"

// The channels we read from the archive: the AIA wavelengths (94, 131, ..., 1700), then HMI's two.
const std::vector<int>& channels();
// A product id ("94", "171", ..., "intensitygram", "magnetogram") as a channel, when it is one.
std::optional<int> channelOf(const QString& productID);

// One image named in a listing.
struct Image {
    QString name;    // "YYYYMMDD_HHMMSS_1024_WWWW.jpg", a plain file name
    QDateTime taken; // UTC
    int channel = 0;
    bool operator==(const Image&) const = default;
};

// A file name of the archive as an image of `size` pixels (any date); nothing when it is not one.
std::optional<Image> parseName(const QString& name, int size = imageSize);

// The images of `size` pixels named in a day folder's listing, read leniently: any href whose last path
// component matches the name pattern (HTML or not, any order, duplicates once). Ignored: impossible dates
// or times, a date that is not `day`, a time more than futureSlackSeconds after `now`, channels we do
// not know. Sorted by time, then channel.
std::vector<Image> parseListing(const QByteArray& listing, const QDate& day, const QDateTime& now,
                                int size = imageSize);

// The start of the slot holding `moment`.
QDateTime slotStart(const QDateTime& moment);
// The start of the first slot of the window that ends with `newest`'s slot.
QDateTime windowStart(const QDateTime& newest);

// Which image each of the window's slots shows. `taken` are one channel's image times, sorted ascending.
struct Frames {
    // Per slot, oldest first: an index into `taken`. A slot without an image holds the slot before; the
    // slots before the first image show the first image (there is nothing earlier to hold).
    std::vector<int> perSlot;
    int frameCount = 0; // slots with an image of their own
    QDateTime newest;   // the newest image's time, the clip's end
    QDateTime windowStart;
};
// Nothing when there are no images. Images older than the window are not shown.
// With `windowEnd`, the window ends at that moment's slot instead (composites share one window).
std::optional<Frames> assignFrames(const std::vector<QDateTime>& taken,
                                   const std::optional<QDateTime>& windowEnd = std::nullopt);

// The day folders (UTC dates, oldest first) a pass lists: from the day of the newest image held (or,
// with none, of `now` minus 48 hours) through the day of `now`. Never more than three days.
std::vector<QDate> foldersToList(const std::optional<QDateTime>& newestHeld, const QDateTime& now);

// Whether `bytes` is a whole baseline or progressive JPEG of `size` x `size` pixels; says why not.
bool isWholeJpeg(const QByteArray& bytes, int size, QString* why = nullptr);

// What becomes of an image that arrived damaged or did not decode. A fault may be passing (an error page
// served once, a file NASA was still writing), so only a second failure, on a later pass, sets it aside
// for good; an image cut short within the hour before `now` is simply asked for again.
enum class Failure { askAgain, suspect, rejected };
Failure judgeFailure(bool failedBefore, bool cutShort, const QDateTime& taken, const QDateTime& now);

// How long a pass may talk to the archive: `fill` for the whole window of every channel it needs,
// proportionally less for fewer images, never less than `shortest` (listings and a few images).
inline constexpr std::chrono::seconds fillBudget{15 * 60};
inline constexpr std::chrono::seconds shortestBudget{2 * 60};
std::chrono::seconds passBudget(qsizetype images, qsizetype channels, std::chrono::seconds fill = fillBudget,
                                std::chrono::seconds shortest = shortestBudget);

// A channel as the archive writes it ("0171", "HMIIC"), and a moment as a versioned key's stem.
QString channelCode(int channel);
QString stem(const QDateTime& moment);

} // namespace Browse
