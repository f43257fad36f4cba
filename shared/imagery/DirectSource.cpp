// The pass against the browse archive: list, download the newest image per slot, make the clips.
#include "DirectSource.h"

#include "BrowseFetch.h"
#include "BrowseRules.h"
#include "CacheSettings.h"
#include "Catalog.h"
#include "ClipMaking.h"
#include "DirectStore.h"
#include "HttpClient.h"
#include "Log.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimeZone>
#include <algorithm>
#include <map>

namespace {

constexpr const char* defaultBase = "https://sdo.gsfc.nasa.gov";
// Listings of a busy day run to a few megabytes; an image to a few hundred kilobytes.
constexpr qint64 largestListing = qint64(32) << 20;
constexpr qint64 largestImage = qint64(8) << 20;

const QString rainbowID = QStringLiteral("rainbow");
const QString ultravioletID = QStringLiteral("composite_uv");
const QString demID = QStringLiteral("dem");

using DirectSource::channelsOf;

ClipMaking::Kind kindOf(const QString& id) {
    if (id == rainbowID) return ClipMaking::Kind::rainbow;
    if (id == ultravioletID) return ClipMaking::Kind::ultraviolet;
    return ClipMaking::Kind::single;
}

QString iso(const QDateTime& moment) {
    return moment.toUTC().toString(Qt::ISODate);
}

QString dayPath(const QDate& day) {
    return day.toString(QStringLiteral("yyyy/MM/dd"));
}

// One product's clip as the slots decide it: per slot the image files, and the clip's facts.
struct Plan {
    QString id;
    std::vector<QStringList> frames;
    QString fingerprint; // the slots' file names, to tell whether anything changed since the last clip
    int frameCount = 0;
    QDateTime newest;
};

std::optional<Plan> planFor(const QString& id, const DirectStore& store) {
    const std::vector<int> members = channelsOf(id);
    // Composites share one window, ending at the newest slot of any of their channels.
    std::optional<QDateTime> end;
    for (int channel : members) {
        const auto& held = store.held(channel);
        if (!held.empty() && (!end || held.back().taken > *end)) end = held.back().taken;
    }
    if (!end) return std::nullopt;
    Plan plan;
    plan.id = id;
    plan.frames.assign(Browse::windowSlots, QStringList());
    std::vector<bool> own(Browse::windowSlots, false);
    for (int channel : members) {
        const auto& held = store.held(channel);
        std::vector<QDateTime> times;
        for (const auto& image : held)
            times.push_back(image.taken);
        const auto frames = Browse::assignFrames(times, members.size() > 1 ? end : std::nullopt);
        for (int slot = 0; slot < Browse::windowSlots; ++slot) {
            if (!frames) {
                plan.frames[size_t(slot)] << QString();
                continue;
            }
            const int index = frames->perSlot[size_t(slot)];
            plan.frames[size_t(slot)] << store.path(held[size_t(index)]);
            const qint64 slotAt = frames->windowStart.toSecsSinceEpoch() + slot * Browse::slotSeconds;
            if (Browse::slotStart(held[size_t(index)].taken).toSecsSinceEpoch() == slotAt)
                own[size_t(slot)] = true;
        }
        if (frames && (!plan.newest.isValid() || frames->newest > plan.newest)) plan.newest = frames->newest;
    }
    plan.frameCount = int(std::count(own.begin(), own.end(), true));
    QStringList names;
    for (const QStringList& files : plan.frames)
        for (const QString& file : files)
            names << (file.isEmpty() ? QStringLiteral("-") : QFileInfo(file).fileName());
    plan.fingerprint = names.join(QLatin1Char('\n'));
    return plan;
}

RemoteProduct productFor(const Plan& plan) {
    const QString stem = Browse::stem(plan.newest);
    RemoteProduct product;
    product.id = plan.id;
    if (plan.id == rainbowID)
        product.label = QStringLiteral("Rainbow (made here from NASA SDO images)");
    else if (plan.id == ultravioletID)
        product.label = QStringLiteral("Composite 1700/1600/304 (made here from NASA SDO images)");
    else
        product.label = Catalog::label(plan.id);
    product.updated = iso(plan.newest);
    product.videoV = QStringLiteral("v/%1/%2.mp4").arg(plan.id, stem);
    product.stillV = QStringLiteral("v/%1/%2.png").arg(plan.id, stem);
    product.frameCount = plan.frameCount;
    const int perFrame = int(channelsOf(plan.id).size());
    product.integration =
        Integration{perFrame, perFrame == 1 ? QStringLiteral("newest image of each 20-minute slot")
                                            : QStringLiteral("newest image of each channel in each "
                                                             "20-minute slot, combined on this computer")};
    return product;
}

const QString noImages = QStringLiteral("no images");

// Makes one product's clip and still when its slots changed; true when a new clip was put in place.
// Images the maker could not decode are set aside and the clip is made again without them.
bool make(const QString& id, DirectStore& store, std::optional<RemoteProduct>& made, QString& error) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto plan = planFor(id, store);
        if (!plan) {
            error = noImages;
            return false;
        }
        made = productFor(*plan);
        const QString clip = Cache::file(id + QStringLiteral(".mp4"));
        const QString still = Cache::file(id + QStringLiteral(".png"));
        QFile src(clip + QStringLiteral(".src"));
        const bool sameKey =
            src.open(QIODevice::ReadOnly) && QString::fromUtf8(src.readAll()).trimmed() == *made->videoV;
        if (sameKey && QFileInfo::exists(clip) && QFileInfo::exists(still) &&
            store.fingerprint(id) == plan->fingerprint)
            return false;
        const auto& maker = ClipMaking::makeClip();
        if (!maker) {
            error = QStringLiteral("this program does not make clips");
            return false;
        }
        ClipMaking::Job job;
        job.kind = kindOf(id);
        job.size = store.size();
        job.frames = plan->frames;
        job.clip = clip;
        job.still = still;
        const ClipMaking::Outcome outcome = maker(job);
        if (!outcome.ok) {
            error = outcome.error;
            if (outcome.unreadable.isEmpty()) return false;
            for (const QString& file : outcome.unreadable)
                store.reject(QFileInfo(file).fileName(), QStringLiteral("it does not decode"));
            continue;
        }
        for (const QString& name : {id + QStringLiteral(".mp4"), id + QStringLiteral(".png")})
            QFile::remove(Cache::file(name + QStringLiteral(".etag")));
        Cache::note(*made->videoV, clip + QStringLiteral(".src"));
        Cache::note(*made->stillV, still + QStringLiteral(".src"));
        Cache::note(made->updated, Cache::file(id + QStringLiteral(".stamp")));
        Cache::note(made->updated, Cache::file(id + QStringLiteral(".png.stamp")));
        store.setFingerprint(id, plan->fingerprint);
        return true;
    }
    return false;
}

} // namespace

std::optional<QString> DirectSource::base(QString* error) {
    return HttpClient::httpsBase(defaultBase, "SOLVANE_SDO_BASE", QStringLiteral("the archive address"),
                                 error);
}

DirectSource::Outcome DirectSource::run(const QSet<QString>& wanted, const Cache::Progress& progress,
                                        const QDateTime& now) {
    Outcome outcome;
    // The screen-saver hack registers no maker: it only plays what the program made.
    if (!ClipMaking::makeClip()) {
        outcome.reason = QStringLiteral("this program does not make clips");
        log(QStringLiteral("direct: ") + outcome.reason + QStringLiteral("; leaving the cache as it is"),
            LogArea::cache);
        return outcome;
    }
    QString why;
    const auto address = base(&why);
    if (!address) {
        log(QStringLiteral("direct: ") + why, LogArea::cache);
        outcome.reason = why;
        return outcome;
    }

    // Wanted products we can make, in catalogue order; `dem` needs a publisher's data.
    QStringList products;
    std::vector<int> needed;
    for (const CatalogProduct& known : Catalog::all()) {
        if (!wanted.contains(known.id)) continue;
        if (known.id == demID) {
            log(QStringLiteral("direct: dem: needs an imagery mirror"), LogArea::cache);
            outcome.failed << known.id;
            continue;
        }
        products << known.id;
        for (int channel : channelsOf(known.id))
            if (std::find(needed.begin(), needed.end(), channel) == needed.end()) needed.push_back(channel);
    }
    DirectStore store(Cache::file(QStringLiteral("direct")), needed);

    // 1. List the day folders that can hold images newer than every channel's newest held one.
    std::optional<QDateTime> from = store.oldestNewest();
    const std::vector<QDate> days = Browse::foldersToList(from, now);
    std::map<int, std::vector<Browse::Image>> available;
    QString firstError;
    auto list = [&](const std::vector<QDate>& folders) {
        std::vector<BrowseFetch::Request> listings;
        for (auto day = folders.rbegin(); day != folders.rend(); ++day)
            listings.push_back(store.listingRequest(
                *address + QStringLiteral("/assets/img/browse/") + dayPath(*day) + QLatin1Char('/'), *day));
        BrowseFetch::run(listings, [&](size_t index, const BrowseFetch::Result& result) {
            const QDate day = folders[folders.size() - 1 - index];
            const auto listing = store.acceptListing(day, result);
            if (result.status == 200 || result.status == 304) outcome.reached = true;
            if (result.status != 200 && result.status != 304) {
                const QString what =
                    result.status == 0 ? result.error : QStringLiteral("HTTP %1").arg(result.status);
                if (firstError.isEmpty()) firstError = what;
                log(QStringLiteral("direct: day folder ") + dayPath(day) + QStringLiteral(": ") + what,
                    LogArea::cache);
            }
            if (!listing) return;
            for (const Browse::Image& image : Browse::parseListing(*listing, day, now))
                if (std::find(needed.begin(), needed.end(), image.channel) != needed.end())
                    available[image.channel].push_back(image);
        });
    };
    list(days);
    // NASA's newest image can be hours behind the clock, so the 48 hours before it may begin in the day
    // before the oldest folder listed (a first pass just after midnight): that folder is listed too.
    if (!days.empty() && (!from || from->date() < days.front()) && !Cache::stopRequested()) {
        std::optional<QDateTime> newest;
        for (const auto& [channel, images] : available)
            for (const Browse::Image& image : images)
                if (!newest || image.taken > *newest) newest = image.taken;
        const qint64 window = qint64(Browse::windowSlots - 1) * Browse::slotSeconds;
        if (newest && Browse::slotStart(*newest).addSecs(-window).date() < days.front())
            list({days.front().addDays(-1)});
    }
    if (Cache::stopRequested()) return outcome;
    if (!outcome.reached) {
        outcome.reason = firstError.isEmpty() ? QStringLiteral("no day folder could be listed") : firstError;
        log(QStringLiteral("direct: NASA SDO did not answer: ") + outcome.reason, LogArea::cache);
        // What is on disk still makes clips (a pass stopped before its clips were made).
    }

    // 2. What to download: per channel the newest image of each slot in the window, not held yet.
    std::vector<Browse::Image> missing;
    for (int channel : needed) {
        auto& listed = available[channel];
        std::sort(listed.begin(), listed.end(),
                  [](const auto& a, const auto& b) { return a.taken < b.taken; });
        for (const Browse::Image& image : store.newestPerSlot(channel, listed))
            if (!store.holds(image) && !store.isRejected(image.name)) missing.push_back(image);
    }
    std::sort(missing.begin(), missing.end(), [](const auto& a, const auto& b) { return a.taken > b.taken; });

    // 3. First light: a product with no clip on disk gets one from its channels' newest images at once.
    QStringList firstLight;
    for (const QString& id : products)
        if (!QFileInfo::exists(Cache::file(id + QStringLiteral(".mp4")))) firstLight << id;
    std::vector<Browse::Image> early;
    for (int channel : needed) {
        const bool forFirstLight =
            std::any_of(firstLight.begin(), firstLight.end(), [channel](const QString& id) {
                const auto members = channelsOf(id);
                return std::find(members.begin(), members.end(), channel) != members.end();
            });
        const auto newest = std::find_if(missing.begin(), missing.end(),
                                         [channel](const auto& image) { return image.channel == channel; });
        if (forFirstLight && newest != missing.end() && store.held(channel).empty()) {
            early.push_back(*newest);
            missing.erase(newest);
        }
    }
    const int total = int(early.size() + missing.size()) + int(products.size());
    int done = 0;
    auto download = [&](const std::vector<Browse::Image>& images) {
        std::vector<BrowseFetch::Request> requests;
        for (const Browse::Image& image : images)
            requests.push_back(store.imageRequest(*address + QStringLiteral("/assets/img/browse/") +
                                                      dayPath(image.taken.date()) + QLatin1Char('/') +
                                                      image.name,
                                                  image, largestImage));
        BrowseFetch::run(requests, [&](size_t index, const BrowseFetch::Result& result) {
            store.acceptImage(images[index], result);
            if (progress) progress(++done, total);
        });
    };
    std::optional<RemoteProduct> made;
    QHash<QString, RemoteProduct> results;
    QSet<QString> moved; // a first-light clip and the full one of the same product count once
    auto makeAll = [&](const QStringList& ids, bool final) {
        for (const QString& id : ids) {
            if (Cache::stopRequested()) return;
            QString error;
            made.reset();
            if (make(id, store, made, error))
                moved.insert(id);
            else if (!error.isEmpty() && final) {
                // With NASA SDO silent and nothing on disk, "did not answer" above already says why.
                if (outcome.reached || error != noImages)
                    log(QStringLiteral("direct: ") + id + QStringLiteral(": no clip made: ") + error,
                        LogArea::cache);
                outcome.failed << id;
            }
            if (made && QFileInfo::exists(Cache::file(id + QStringLiteral(".mp4"))))
                results.insert(id, *made);
            if (final && progress) progress(++done, total);
        }
    };
    if (!firstLight.isEmpty()) {
        if (outcome.reached) download(early);
        makeAll(firstLight, false);
        std::vector<RemoteProduct> list;
        for (const QString& id : firstLight)
            if (results.contains(id)) list.push_back(results.value(id));
        if (!list.empty()) {
            Cache::rewriteManifest(list);
            log(QStringLiteral("direct: first light, %1 product(s) playable").arg(list.size()),
                LogArea::cache);
        }
    }

    // 4. The rest of the window, newest first, then every clip. A metered network the person has not
    // allowed gets first light only.
    if (outcome.reached && !missing.empty() && CacheSettings::meteredHolds()) {
        log(QStringLiteral("direct: the network is metered; %1 older image(s) wait for another network")
                .arg(missing.size()),
            LogArea::cache);
        missing.clear();
    }
    if (outcome.reached) download(missing);
    if (Cache::stopRequested()) return outcome;
    store.removeOutsideWindows();
    store.removeListingsExcept(days);
    results.clear();
    makeAll(products, true);
    for (const QString& id : products)
        if (results.contains(id)) {
            outcome.products.push_back(results.value(id));
            if (results.value(id).updated > outcome.newest) outcome.newest = results.value(id).updated;
        }
    outcome.moved = int(moved.size());
    outcome.failed.removeDuplicates();
    return outcome;
}

std::vector<int> DirectSource::channelsOf(const QString& id) {
    if (id == rainbowID) return {94, 131, 171, 193, 211, 304, 335};
    if (id == ultravioletID) return {1700, 1600, 304};
    if (const auto channel = Browse::channelOf(id)) return {*channel};
    return {};
}

DirectSource::Made DirectSource::makeClips(const QStringList& ids, DirectStore& store) {
    Made result;
    for (const QString& id : ids) {
        if (Cache::stopRequested()) break;
        QString error;
        std::optional<RemoteProduct> made;
        if (make(id, store, made, error))
            result.made << id;
        else if (!error.isEmpty())
            result.failed << id;
        if (made && QFileInfo::exists(Cache::file(id + QStringLiteral(".mp4"))))
            result.products.push_back(*made);
    }
    return result;
}
