#include "DirectStore.h"

#include "Cache.h"
#include "ListingTail.h"
#include "Log.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

const QString rejectedName = QStringLiteral("rejected.txt");
const QString suspectsName = QStringLiteral("suspects.txt");

std::optional<QByteArray> readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

std::optional<QString> readText(const QString& path) {
    const auto bytes = readAll(path);
    if (!bytes) return std::nullopt;
    return QString::fromUtf8(*bytes).trimmed();
}

bool byTime(const Browse::Image& a, const Browse::Image& b) {
    return a.taken < b.taken;
}

} // namespace

DirectStore::DirectStore(const QString& folder, const std::vector<int>& channels, int size)
    : folder_(folder), size_(size) {
    QDir().mkpath(folder_ + QStringLiteral("/listings"));
    removeStaleTemporaries();
    // Partial downloads of an interrupted pass are of no use; their images are listed again.
    for (const QString& name :
         QDir(folder_ + QStringLiteral("/listings")).entryList({QStringLiteral("*.part")}))
        QFile::remove(folder_ + QStringLiteral("/listings/") + name);
    for (auto [file, names] : {std::pair{rejectedName, &rejected_}, std::pair{suspectsName, &suspects_}})
        if (const auto text = readText(folder_ + QLatin1Char('/') + file))
            for (const QString& name : text->split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                names->insert(name.trimmed());
    for (int channel : channels) {
        const QDir dir(channelFolder(channel));
        QDir().mkpath(dir.path());
        auto& images = held_[channel];
        for (const QString& name : dir.entryList(QDir::Files)) {
            if (name.endsWith(QLatin1String(".part"))) {
                QFile::remove(dir.filePath(name));
                continue;
            }
            const auto image = Browse::parseName(name, size_);
            if (!image || image->channel != channel) continue;
            images.push_back(*image);
            heldNames_.insert(name);
        }
        std::sort(images.begin(), images.end(), byTime);
    }
}

const std::vector<Browse::Image>& DirectStore::held(int channel) const {
    static const std::vector<Browse::Image> none;
    const auto it = held_.find(channel);
    return it == held_.end() ? none : it->second;
}

QString DirectStore::channelFolder(int channel) const {
    const QString sized = size_ == Browse::imageSize ? QString() : QString::number(size_) + QLatin1Char('/');
    return folder_ + QLatin1Char('/') + sized + Browse::channelCode(channel);
}

QString DirectStore::path(const Browse::Image& image) const {
    return channelFolder(image.channel) + QLatin1Char('/') + image.name;
}

bool DirectStore::holds(const Browse::Image& image) const {
    return heldNames_.contains(image.name);
}

bool DirectStore::isRejected(const QString& name) const {
    return rejected_.contains(name);
}

void DirectStore::forget(const Browse::Image& image) {
    QFile::remove(path(image));
    heldNames_.remove(image.name);
    auto& images = held_[image.channel];
    images.erase(std::remove(images.begin(), images.end(), image), images.end());
}

void DirectStore::removeStaleTemporaries() {
    // Written with Cache::note or by the clip maker, ".tmp" files here are left only by a killed process:
    // this runs under the pass lock, when nothing of ours is writing them.
    QDirIterator found(folder_, {QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden,
                       QDirIterator::Subdirectories);
    while (found.hasNext()) {
        const QString path = found.next();
        if (QFile::remove(path))
            log(QStringLiteral("removed a temporary file left behind: direct/") +
                    QDir(folder_).relativeFilePath(path),
                LogArea::cache);
    }
}

void DirectStore::saveNames(const QSet<QString>& names, const QString& file) const {
    // Names older than any window are of no use; the lists stay small.
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addDays(-4);
    QStringList kept;
    for (const QString& entry : names) {
        const auto image = Browse::parseName(entry, size_);
        if (!image || image->taken >= oldest) kept << entry;
    }
    kept.sort();
    Cache::note(kept.join(QLatin1Char('\n')), folder_ + QLatin1Char('/') + file);
}

void DirectStore::setAside(const QString& name, const QString& why, bool cutShort) {
    const auto image = Browse::parseName(name, size_);
    if (image) forget(*image);
    const Browse::Failure verdict =
        Browse::judgeFailure(suspects_.contains(name), cutShort, image ? image->taken : QDateTime(),
                             QDateTime::currentDateTimeUtc());
    QString after;
    switch (verdict) {
    case Browse::Failure::askAgain:
        after = QStringLiteral("; asking again on the next pass");
        break;
    case Browse::Failure::suspect:
        after = QStringLiteral("; asking once more on the next pass");
        suspects_.insert(name);
        saveNames(suspects_, suspectsName);
        break;
    case Browse::Failure::rejected:
        after = QStringLiteral(" again; never asking for it again");
        suspects_.remove(name);
        rejected_.insert(name);
        saveNames(suspects_, suspectsName);
        saveNames(rejected_, rejectedName);
        break;
    }
    log(QStringLiteral("direct: skipped a damaged image ") + name + QStringLiteral(": ") + why + after,
        LogArea::cache);
}

std::optional<QDateTime> DirectStore::listFrom() const {
    std::optional<QDateTime> from;
    auto reach = [&from](const QDateTime& moment) {
        if (!from || moment < *from) from = moment;
    };
    for (const auto& [channel, images] : held_) {
        if (images.empty()) return std::nullopt;
        const QDateTime start = Browse::windowStart(images.back().taken);
        reach(images.front().taken < start.addSecs(Browse::slotSeconds) ? images.back().taken : start);
    }
    for (const QString& name : suspects_)
        if (const auto image = Browse::parseName(name, size_); image && held_.count(image->channel))
            reach(image->taken);
    return from;
}

QString DirectStore::listingPath(const QDate& day) const {
    return folder_ + QStringLiteral("/listings/") + day.toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral(".html");
}

BrowseFetch::Request DirectStore::listingRequest(const QString& url, const QDate& day) const {
    BrowseFetch::Request request;
    request.url = url;
    request.destination = listingPath(day);
    request.largestBytes = qint64(32) << 20;
    request.compressed = true; // a day's listing shrinks to a tenth
    if (QFileInfo::exists(request.destination)) {
        request.etag = readText(request.destination + QStringLiteral(".etag"));
        request.lastModified = readText(request.destination + QStringLiteral(".modified"));
    }
    return request;
}

std::optional<QByteArray> DirectStore::acceptListing(const QDate& day, const BrowseFetch::Result& result) {
    const QString target = listingPath(day);
    if (result.status == 200) {
        const QString part = target + QStringLiteral(".part");
        QFile::remove(target + QStringLiteral(".etag"));
        QFile::remove(target + QStringLiteral(".modified"));
        if (QFile::exists(target)) QFile::remove(target);
        if (!QFile::rename(part, target)) {
            QFile::remove(part);
            return std::nullopt;
        }
        if (result.etag) Cache::note(*result.etag, target + QStringLiteral(".etag"));
        if (result.lastModified) Cache::note(*result.lastModified, target + QStringLiteral(".modified"));
        // A host that compresses its listings sends the whole one for less than its end plain.
        if (result.compressed && result.bytes > 0)
            Cache::note(QString::number(double(result.wireBytes) / double(result.bytes)),
                        target + QStringLiteral(".compressed"));
        else
            QFile::remove(target + QStringLiteral(".compressed"));
        return readAll(target);
    }
    if (result.status == 404) {
        for (const QString& suffix :
             {QString(), QStringLiteral(".etag"), QStringLiteral(".modified"), QStringLiteral(".compressed")})
            QFile::remove(target + suffix);
        return std::nullopt;
    }
    return readAll(target);
}

void DirectStore::removeListingsExcept(const std::vector<QDate>& days) {
    QSet<QString> keep;
    for (const QDate& day : days)
        keep.insert(day.toString(QStringLiteral("yyyyMMdd")));
    const QDir dir(folder_ + QStringLiteral("/listings"));
    for (const QString& name : dir.entryList(QDir::Files))
        if (!keep.contains(name.left(8))) QFile::remove(dir.filePath(name));
}

std::vector<Browse::Image> DirectStore::newestPerSlot(int channel,
                                                      const std::vector<Browse::Image>& listed) const {
    QDateTime end;
    if (!listed.empty()) end = listed.back().taken;
    const auto& mine = held(channel);
    if (!mine.empty() && (!end.isValid() || mine.back().taken > end)) end = mine.back().taken;
    if (!end.isValid()) return {};
    const QDateTime start = Browse::windowStart(end);
    // Newest held image per slot: a listed one is wanted only when it is newer.
    std::map<qint64, QDateTime> heldPerSlot;
    for (const auto& image : mine)
        heldPerSlot[Browse::slotStart(image.taken).toSecsSinceEpoch()] = image.taken;
    std::map<qint64, Browse::Image> chosen;
    for (const auto& image : listed) {
        if (image.taken < start || isRejected(image.name)) continue;
        const qint64 slot = Browse::slotStart(image.taken).toSecsSinceEpoch();
        if (const auto it = heldPerSlot.find(slot); it != heldPerSlot.end() && it->second >= image.taken)
            continue;
        chosen[slot] = image; // ascending, so the newest of the slot wins
    }
    std::vector<Browse::Image> result;
    for (const auto& [slot, image] : chosen)
        result.push_back(image);
    return result;
}

BrowseFetch::Request DirectStore::imageRequest(const QString& url, const Browse::Image& image,
                                               qint64 largest) const {
    BrowseFetch::Request request;
    request.url = url;
    request.destination = path(image);
    request.largestBytes = largest;
    return request;
}

bool DirectStore::acceptImage(const Browse::Image& image, const BrowseFetch::Result& result) {
    const QString target = path(image);
    const QString part = target + QStringLiteral(".part");
    if (result.status != 200) {
        QFile::remove(part);
        log(QStringLiteral("direct: ") + image.name + QStringLiteral(": ") +
                (result.status == 0 ? result.error : QStringLiteral("HTTP %1").arg(result.status)),
            LogArea::cache);
        return false;
    }
    QString why;
    const auto bytes = readAll(part);
    if (!bytes || !Browse::isWholeJpeg(*bytes, size_, &why)) {
        QFile::remove(part);
        setAside(image.name, bytes ? why : QStringLiteral("could not be read"),
                 why == QLatin1String("cut short"));
        return false;
    }
    if (!QFile::rename(part, target)) {
        QFile::remove(part);
        log(QStringLiteral("direct: could not put ") + image.name + QStringLiteral(" in place"),
            LogArea::cache);
        return false;
    }
    auto& images = held_[image.channel];
    images.insert(std::upper_bound(images.begin(), images.end(), image, byTime), image);
    heldNames_.insert(image.name);
    return true;
}

void DirectStore::removeOutsideWindows() {
    for (auto& [channel, images] : held_) {
        if (images.empty()) continue;
        const QDateTime start = Browse::windowStart(images.back().taken);
        std::vector<Browse::Image> gone;
        for (size_t i = 0; i < images.size(); ++i) {
            const bool old = images[i].taken < start;
            const bool superseded = i + 1 < images.size() && Browse::slotStart(images[i + 1].taken) ==
                                                                 Browse::slotStart(images[i].taken);
            if (old || superseded) gone.push_back(images[i]);
        }
        for (const auto& image : gone)
            forget(image);
    }
}

QString DirectStore::piecesFolder(const QString& productID) const {
    return folder_ + QStringLiteral("/pieces/") + productID;
}

void DirectStore::keepPiecesOf(const QStringList& productIDs) {
    const QDir pieces(folder_ + QStringLiteral("/pieces"));
    for (const QString& id : pieces.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (!productIDs.contains(id)) QDir(pieces.filePath(id)).removeRecursively();
}

QString DirectStore::fingerprint(const QString& productID) const {
    return readText(folder_ + QLatin1Char('/') + productID + QStringLiteral(".frames")).value_or(QString());
}

void DirectStore::setFingerprint(const QString& productID, const QString& text) {
    Cache::note(text, folder_ + QLatin1Char('/') + productID + QStringLiteral(".frames"));
}

std::optional<BrowseFetch::Request> DirectStore::tailRequest(const QString& url, const QDate& day) const {
    const QString target = listingPath(day);
    const auto held = readAll(target);
    if (!held) return std::nullopt;
    const auto from = ListingTail::anchor(*held);
    if (!from) return std::nullopt;
    // From a host that compresses its listings, the end plain or the whole compressed, whichever is less.
    if (const auto ratio = readText(target + QStringLiteral(".compressed"))) {
        const double expected = double(held->size()) * ratio->toDouble();
        if (double(held->size() - *from + ListingTail::newBytesPerPass) >= expected) return std::nullopt;
    }
    BrowseFetch::Request request = listingRequest(url, day);
    request.compressed = false;
    request.from = *from;
    return request;
}

std::optional<QByteArray> DirectStore::acceptTail(const QDate& day, const BrowseFetch::Result& result) {
    const QString target = listingPath(day);
    const QString part = target + QStringLiteral(".part");
    if (result.status == 304) return readAll(target);
    if (result.status == 200) return acceptListing(day, result);
    if (result.status != 206) {
        QFile::remove(part);
        return std::nullopt;
    }
    const auto held = readAll(target);
    const auto tail = readAll(part);
    QFile::remove(part);
    if (!held || !tail || !result.rangeStart) return std::nullopt;
    const auto joined = ListingTail::splice(*held, *result.rangeStart, *tail);
    if (!joined || (result.wholeLength && *result.wholeLength != joined->size())) return std::nullopt;
    if (!Cache::writeAtomically(target, *joined)) return std::nullopt;
    QFile::remove(target + QStringLiteral(".etag"));
    QFile::remove(target + QStringLiteral(".modified"));
    if (result.etag) Cache::note(*result.etag, target + QStringLiteral(".etag"));
    if (result.lastModified) Cache::note(*result.lastModified, target + QStringLiteral(".modified"));
    return joined;
}
