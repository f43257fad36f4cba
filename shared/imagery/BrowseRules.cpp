#include "BrowseRules.h"

#include <QRegularExpression>
#include <QSet>
#include <QTimeZone>
#include <algorithm>

namespace {

// Anything after "href" up to the value's end: quoted either way, or bare up to a space or ">".
const QRegularExpression& hrefPattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"re(href\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>"']+)))re"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

const QRegularExpression& namePattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(\d{4})(\d{2})(\d{2})_(\d{2})(\d{2})(\d{2})_(\d+)_(\d{4}|HMI[A-Z]+)\.jpg$)"));
    return pattern;
}

// The last path component of an href, without query or fragment.
QString lastComponent(QString href) {
    for (QChar end : {QLatin1Char('#'), QLatin1Char('?')})
        if (const qsizetype at = href.indexOf(end); at >= 0) href.truncate(at);
    while (href.endsWith(QLatin1Char('/')))
        href.chop(1);
    return href.mid(href.lastIndexOf(QLatin1Char('/')) + 1);
}

// The JPEG markers that start a frame and carry its size (every SOFn but DHT, JPG and DAC).
bool isFrameMarker(unsigned char marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

const std::vector<int>& Browse::channels() {
    static const std::vector<int> known{
        94, 131, 171, 193, 211, 304, 335, 1600, 1700, hmiIntensitygram, hmiMagnetogram};
    return known;
}

std::optional<int> Browse::channelOf(const QString& productID) {
    if (productID == QLatin1String("intensitygram")) return hmiIntensitygram;
    if (productID == QLatin1String("magnetogram")) return hmiMagnetogram;
    bool ok = false;
    const int number = productID.toInt(&ok);
    // "0171" or "+171" are not product ids.
    if (!ok || QString::number(number) != productID) return std::nullopt;
    if (std::find(channels().begin(), channels().end(), number) == channels().end()) return std::nullopt;
    return number;
}

QString Browse::channelCode(int channel) {
    if (channel == hmiIntensitygram) return QStringLiteral("HMIIC");
    if (channel == hmiMagnetogram) return QStringLiteral("HMIB");
    return QStringLiteral("%1").arg(channel, 4, 10, QLatin1Char('0'));
}

QString Browse::stem(const QDateTime& moment) {
    return moment.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
}

std::optional<Browse::Image> Browse::parseName(const QString& name, int size) {
    const QRegularExpressionMatch parts = namePattern().match(name);
    if (!parts.hasMatch()) return std::nullopt;
    auto number = [&parts](int group) { return parts.captured(group).toInt(); };
    if (number(7) != size || parts.captured(7) != QString::number(size)) return std::nullopt;
    const QDate date(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    // Codes are compared as the archive writes them, so "HMIIC" is never read as another HMI picture.
    const QString code = parts.captured(8);
    const auto channel = std::find_if(channels().begin(), channels().end(),
                                      [&code](int known) { return channelCode(known) == code; });
    if (channel == channels().end()) return std::nullopt;
    return Image{name, QDateTime(date, time, QTimeZone::utc()), *channel};
}

std::vector<Browse::Image> Browse::parseListing(const QByteArray& listing, const QDate& day,
                                                const QDateTime& now, int size) {
    std::vector<Image> found;
    QSet<QString> seen;
    const QString text = QString::fromUtf8(listing);
    auto matches = hrefPattern().globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch href = matches.next();
        QString value = href.captured(1);
        if (value.isNull()) value = href.captured(2);
        if (value.isNull()) value = href.captured(3);
        const QString name = lastComponent(value);
        if (seen.contains(name)) continue;
        seen.insert(name);
        const auto image = parseName(name, size);
        if (!image || image->taken.date() != day || now.secsTo(image->taken) > futureSlackSeconds) continue;
        found.push_back(*image);
    }
    std::sort(found.begin(), found.end(), [](const Image& a, const Image& b) {
        return a.taken != b.taken ? a.taken < b.taken : a.channel < b.channel;
    });
    return found;
}

QDateTime Browse::slotStart(const QDateTime& moment) {
    const qint64 seconds = moment.toSecsSinceEpoch();
    qint64 start = seconds - seconds % slotSeconds;
    if (seconds % slotSeconds < 0) start -= slotSeconds;
    return QDateTime::fromSecsSinceEpoch(start, QTimeZone::utc());
}

std::optional<Browse::Frames> Browse::assignFrames(const std::vector<QDateTime>& taken,
                                                   const std::optional<QDateTime>& windowEnd) {
    if (taken.empty()) return std::nullopt;
    Frames frames;
    const qint64 lastSlot = slotStart(windowEnd ? *windowEnd : taken.back()).toSecsSinceEpoch();
    const qint64 firstSlot = lastSlot - (windowSlots - 1) * slotSeconds;
    frames.windowStart = QDateTime::fromSecsSinceEpoch(firstSlot, QTimeZone::utc());
    frames.perSlot.assign(windowSlots, -1);
    for (int index = 0; index < int(taken.size()); ++index) {
        const qint64 at = slotStart(taken[size_t(index)]).toSecsSinceEpoch();
        if (at < firstSlot || at > lastSlot) continue;
        // Sorted ascending, so a later image of the same slot replaces an earlier one.
        frames.perSlot[size_t((at - firstSlot) / slotSeconds)] = index;
        frames.newest = taken[size_t(index)];
    }
    if (!frames.newest.isValid()) return std::nullopt;
    int held = -1;
    for (int& shown : frames.perSlot) {
        if (shown >= 0) {
            ++frames.frameCount;
            held = shown;
        } else {
            shown = held;
        }
    }
    // Slots before the first image in the window show that first image.
    const auto first =
        std::find_if(frames.perSlot.begin(), frames.perSlot.end(), [](int i) { return i >= 0; });
    std::fill(frames.perSlot.begin(), first, *first);
    return frames;
}

QDateTime Browse::windowStart(const QDateTime& newest) {
    return slotStart(newest).addSecs(-qint64(windowSlots - 1) * slotSeconds);
}

std::vector<QDate> Browse::foldersToList(const std::optional<QDateTime>& newestHeld, const QDateTime& now) {
    const QDate today = now.toUTC().date();
    QDate from = now.toUTC().addSecs(-qint64(windowSlots) * slotSeconds).date();
    if (newestHeld && newestHeld->toUTC().date() > from) from = newestHeld->toUTC().date();
    if (from > today) from = today;
    std::vector<QDate> days;
    for (QDate day = from; day <= today; day = day.addDays(1))
        days.push_back(day);
    return days;
}

bool Browse::isWholeJpeg(const QByteArray& bytes, int size, QString* why) {
    auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype length = bytes.size();
    if (length < 4 || data[0] != 0xFF || data[1] != 0xD8) return fail(QStringLiteral("not a JPEG"));
    // Trailing padding after the end marker is common; the marker must be near the end.
    qsizetype end = length;
    while (end > 2 && data[end - 1] == 0x00)
        --end;
    if (data[end - 2] != 0xFF || data[end - 1] != 0xD9) return fail(QStringLiteral("cut short"));
    qsizetype at = 2;
    while (at + 4 <= length) {
        if (data[at] != 0xFF) return fail(QStringLiteral("damaged"));
        const unsigned char marker = data[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const int segment = (data[at + 2] << 8) | data[at + 3];
        if (segment < 2 || at + 2 + segment > length) return fail(QStringLiteral("damaged"));
        if (isFrameMarker(marker)) {
            if (segment < 7) return fail(QStringLiteral("damaged"));
            const int height = (data[at + 5] << 8) | data[at + 6];
            const int width = (data[at + 7] << 8) | data[at + 8];
            if (width != size || height != size)
                return fail(QStringLiteral("%1 x %2 pixels, not %3 x %3").arg(width).arg(height).arg(size));
            return true;
        }
        if (marker == 0xDA) break; // scan data before any frame header
        at += 2 + segment;
    }
    return fail(QStringLiteral("no frame header"));
}

Browse::Failure Browse::judgeFailure(bool failedBefore, bool cutShort, const QDateTime& taken,
                                     const QDateTime& now) {
    constexpr qint64 stillBeingWritten = 3600;
    if (cutShort && taken.secsTo(now) < stillBeingWritten) return Failure::askAgain;
    return failedBefore ? Failure::rejected : Failure::suspect;
}

std::chrono::seconds Browse::passBudget(qsizetype images, qsizetype channels, std::chrono::seconds fill,
                                        std::chrono::seconds shortest) {
    if (channels <= 0 || images <= 0) return std::min(shortest, fill);
    const qint64 share =
        fill.count() * std::min<qint64>(images, windowSlots * channels) / (windowSlots * channels);
    return std::chrono::seconds(std::clamp<qint64>(share, std::min(shortest, fill).count(), fill.count()));
}
