#include "SlotFill.h"

#include "BrowseFetch.h"
#include "BrowseRules.h"
#include "Cache.h"
#include "CacheSettings.h"
#include "DirectStore.h"
#include "Log.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>

namespace {
constexpr qint64 largestImage = qint64(32) << 20;

QString folderURL(const QString& base, const QDate& day) {
    return base + QStringLiteral("/assets/img/browse/") + day.toString(QStringLiteral("yyyy/MM/dd")) +
           QLatin1Char('/');
}

bool hasClip(const QString& id) {
    return QFileInfo::exists(Cache::file(id + QStringLiteral(".mp4")));
}
} // namespace

std::vector<SlotFill::Listing> SlotFill::held(const QDateTime& now) {
    std::vector<Listing> listings;
    for (const QDate& day : Browse::foldersToList(std::nullopt, now)) {
        QFile file(Cache::file(QStringLiteral("direct/listings/") + day.toString(QStringLiteral("yyyyMMdd")) +
                               QStringLiteral(".html")));
        if (file.open(QIODevice::ReadOnly)) listings.push_back({day, file.readAll()});
    }
    return listings;
}

SlotFill::Result SlotFill::run(const QStringList& ids, int size, const std::vector<Listing>& listings,
                               Reach reach, const QString& base, const QDateTime& now) {
    Result result;
    if (ids.isEmpty()) return result;
    std::vector<int> channels;
    for (const QString& id : ids)
        for (int channel : DirectSource::channelsOf(id))
            if (std::find(channels.begin(), channels.end(), channel) == channels.end())
                channels.push_back(channel);
    DirectStore store(Cache::file(QStringLiteral("direct")), channels, size);

    std::map<int, std::vector<Browse::Image>> listed;
    for (const Listing& listing : listings)
        for (const Browse::Image& image : Browse::parseListing(listing.bytes, listing.day, now, size))
            if (std::find(channels.begin(), channels.end(), image.channel) != channels.end())
                listed[image.channel].push_back(image);

    // Per channel, newest first: the newest image of each slot wanted and not held.
    std::vector<Browse::Image> wanted;
    std::vector<Browse::Image> newest;
    // A metered network the person has not allowed gets the newest images only.
    const bool frugal = reach == Reach::window && CacheSettings::meteredHolds();
    for (int channel : channels) {
        auto& images = listed[channel];
        std::sort(images.begin(), images.end(),
                  [](const auto& a, const auto& b) { return a.taken < b.taken; });
        const auto& held = store.held(channel);
        std::vector<Browse::Image> chosen = store.newestPerSlot(channel, images);
        if (held.empty()) {
            // Nothing held: the newest image first, so a clip plays soon; the light pass stops there.
            if (!chosen.empty() && !store.isRejected(chosen.back().name)) newest.push_back(chosen.back());
            if (reach == Reach::newSlots || frugal) continue;
            if (!chosen.empty()) chosen.pop_back();
        } else if (frugal) {
            continue;
        } else if (reach == Reach::newSlots) {
            const QDateTime from = Browse::slotStart(held.back().taken);
            chosen.erase(
                std::remove_if(chosen.begin(), chosen.end(), [&](const auto& i) { return i.taken < from; }),
                chosen.end());
        }
        for (const Browse::Image& image : chosen)
            if (!store.holds(image) && !store.isRejected(image.name)) wanted.push_back(image);
    }
    std::sort(wanted.begin(), wanted.end(), [](const auto& a, const auto& b) { return a.taken > b.taken; });

    auto download = [&](const std::vector<Browse::Image>& images) {
        std::vector<BrowseFetch::Request> requests;
        for (const Browse::Image& image : images)
            requests.push_back(
                store.imageRequest(folderURL(base, image.taken.date()) + image.name, image, largestImage));
        BrowseFetch::run(requests, [&](size_t index, const BrowseFetch::Result& answer) {
            ++result.requests;
            result.bytes += answer.wireBytes;
            const bool had = store.holds(images[index]);
            store.acceptImage(images[index], answer);
            if (!had && store.holds(images[index])) ++result.newImages;
            // A download the cache folder refused to write leaves the rest for another pass.
            return answer.writeFailure.isEmpty();
        });
    };
    download(newest);
    QStringList firstLight;
    for (const QString& id : ids)
        if (!hasClip(id)) firstLight << id;
    if (!firstLight.isEmpty() && !wanted.empty() && !Cache::stopRequested()) {
        const DirectSource::Made early = DirectSource::makeClips(firstLight, store);
        if (!early.made.isEmpty()) Cache::rewriteManifest(early.products);
    }
    download(wanted);
    if (Cache::stopRequested()) return result;

    store.removeOutsideWindows();
    result.made = DirectSource::makeClips(ids, store);
    for (int channel : channels) {
        const auto& held = store.held(channel);
        if (!held.empty()) result.newest = std::max(result.newest, held.back().taken.toString(Qt::ISODate));
    }
    return result;
}
