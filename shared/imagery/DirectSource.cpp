// The pass against the browse archive: list, download the newest image per slot, make the clips.
#include "DirectSource.h"

#include "BrowseFetch.h"
#include "BrowseRules.h"
#include "CacheSettings.h"
#include "Catalog.h"
#include "ClipMaking.h"
#include "Diagnostics.h"
#include "DirectStore.h"
#include "HttpClient.h"
#include "Log.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTimeZone>
#include <algorithm>
#include <atomic>
#include <map>

namespace {

// Listings of a busy day run to a few megabytes; an image to a few hundred kilobytes.
constexpr qint64 largestListing = qint64(32) << 20;
constexpr qint64 largestImage = qint64(8) << 20;

std::atomic<qint64> fillSeconds{Browse::fillBudget.count()};
std::atomic<qint64> shortestSeconds{Browse::shortestBudget.count()};

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
    qint64 firstSlot = 0; // the window's first slot, counted from the epoch
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
        if (frames) plan.firstSlot = frames->windowStart.toSecsSinceEpoch() / Browse::slotSeconds;
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

// What a clip make ended with, for the pass.
struct ClipMade {
    bool moved = false;   // a new clip was put in place
    QString error;        // why not, in words
    QString writeFailure; // the system's reason when a file could not be written
    bool stopped = false;
};

// Makes one product's clip and still when its slots changed. Images the maker could not decode are set
// aside, all at once, and the clip is made again without them.
ClipMade make(const QString& id, DirectStore& store, std::optional<RemoteProduct>& made) {
    ClipMade result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto plan = planFor(id, store);
        if (!plan) {
            result.error = noImages;
            return result;
        }
        made = productFor(*plan);
        const QString clip = Cache::file(id + QStringLiteral(".mp4"));
        const QString still = Cache::file(id + QStringLiteral(".png"));
        QFile src(clip + QStringLiteral(".src"));
        const bool sameKey =
            src.open(QIODevice::ReadOnly) && QString::fromUtf8(src.readAll()).trimmed() == *made->videoV;
        if (sameKey && QFileInfo::exists(clip) && QFileInfo::exists(still) &&
            store.fingerprint(id) == plan->fingerprint)
            return result;
        const auto& maker = ClipMaking::makeClip();
        if (!maker) {
            result.error = QStringLiteral("this program does not make clips");
            return result;
        }
        ClipMaking::Job job;
        job.kind = kindOf(id);
        job.size = store.size();
        job.frames = plan->frames;
        job.clip = clip;
        job.still = still;
        job.pieces = store.piecesFolder(id);
        job.firstSlot = plan->firstSlot;
        job.name = id;
        const ClipMaking::Outcome outcome = maker(job);
        if (!outcome.ok) {
            result.error = outcome.error;
            result.writeFailure = outcome.writeFailure;
            result.stopped = outcome.stopped;
            if (outcome.unreadable.isEmpty()) return result;
            for (const QString& file : outcome.unreadable)
                store.setAside(QFileInfo(file).fileName(), QStringLiteral("it does not decode"));
            continue;
        }
        for (const QString& name : {id + QStringLiteral(".mp4"), id + QStringLiteral(".png")})
            QFile::remove(Cache::file(name + QStringLiteral(".etag")));
        Cache::note(*made->videoV, clip + QStringLiteral(".src"));
        Cache::note(*made->stillV, still + QStringLiteral(".src"));
        Cache::note(made->updated, Cache::file(id + QStringLiteral(".stamp")));
        Cache::note(made->updated, Cache::file(id + QStringLiteral(".png.stamp")));
        store.setFingerprint(id, plan->fingerprint);
        result = {};
        result.moved = true;
        return result;
    }
    return result;
}

void logNoClip(const QString& id, const QString& error) {
    log(QStringLiteral("direct: ") + id + QStringLiteral(": no clip made: ") + error, LogArea::cache);
}

// "15 minutes", "1 minute", or for a short budget "40 seconds".
QString duration(std::chrono::seconds span) {
    const qint64 seconds = span.count();
    const bool inMinutes = seconds >= 60;
    const qint64 count = inMinutes ? (seconds + 30) / 60 : seconds;
    return QStringLiteral("%1 %2%3")
        .arg(count)
        .arg(inMinutes ? QStringLiteral("minute") : QStringLiteral("second"))
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

PassDeadline DirectSource::startingDeadline() {
    return PassDeadline(std::chrono::seconds(std::min(shortestSeconds.load(), fillSeconds.load())));
}

void DirectSource::setBudgets(std::chrono::seconds fill, std::chrono::seconds shortest) {
    fillSeconds.store(fill.count());
    shortestSeconds.store(shortest.count());
}

DirectSource::Outcome DirectSource::run(const QSet<QString>& wanted, const Cache::Progress& progress,
                                        PassDeadline& deadline, const QDateTime& now) {
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
    // Sharper clips are made by another store of larger images, in the same pieces folder.
    QStringList keep = products;
    for (const QString& id : CacheSettings::sharperProducts())
        if (!keep.contains(id)) keep << id;
    store.keepPiecesOf(keep);

    // A write the cache folder refuses ends the downloads (and the clips) of this pass: one line says why.
    auto refusedWrite = [&](const QString& reason) {
        if (!outcome.writeFailure.isEmpty()) return;
        outcome.writeFailure = QStringLiteral("can't write to ") +
                               Diagnostics::redact(Cache::dir(), Diagnostics::homes()) +
                               QStringLiteral(": ") + reason;
        log(QStringLiteral("direct: ") + outcome.writeFailure +
                QStringLiteral("; no more downloads or clips in this pass"),
            LogArea::cache);
    };
    auto cutShort = [&](const QString& left) {
        if (!outcome.cutShort.isEmpty()) return;
        outcome.cutShort = QStringLiteral("cut short after ") + duration(deadline.budget()) +
                           QStringLiteral(", the time a pass may take: ") + left;
        log(QStringLiteral("direct: ") + outcome.cutShort +
                QStringLiteral("; NASA SDO is answering slowly, the next pass goes on"),
            LogArea::cache);
    };

    // 1. List the day folders that can hold images the store still wants: newer than a channel's newest
    // held one, in a window not yet filled, or promised a second try.
    std::optional<QDateTime> from = store.listFrom();
    const std::vector<QDate> days = Browse::foldersToList(from, now);
    std::map<int, std::vector<Browse::Image>> available;
    QString firstError;
    auto list = [&](const std::vector<QDate>& folders) {
        std::vector<BrowseFetch::Request> listings;
        for (auto day = folders.rbegin(); day != folders.rend(); ++day)
            listings.push_back(store.listingRequest(
                *address + QStringLiteral("/assets/img/browse/") + dayPath(*day) + QLatin1Char('/'), *day));
        const auto ending = BrowseFetch::run(
            listings,
            [&](size_t index, const BrowseFetch::Result& result) {
                const QDate day = folders[folders.size() - 1 - index];
                if (!result.writeFailure.isEmpty()) {
                    // NASA SDO answered; the answer had nowhere to go.
                    outcome.reached = true;
                    refusedWrite(result.writeFailure);
                    return false;
                }
                const auto listing = store.acceptListing(day, result);
                if (result.status == 200 || result.status == 304) outcome.reached = true;
                if (result.status != 200 && result.status != 304) {
                    const QString what =
                        result.status == 0 ? result.error : QStringLiteral("HTTP %1").arg(result.status);
                    if (firstError.isEmpty()) firstError = what;
                    log(QStringLiteral("direct: day folder ") + dayPath(day) + QStringLiteral(": ") + what,
                        LogArea::cache);
                }
                if (!listing) return true;
                for (const Browse::Image& image : Browse::parseListing(*listing, day, now))
                    if (std::find(needed.begin(), needed.end(), image.channel) != needed.end())
                        available[image.channel].push_back(image);
                return true;
            },
            &deadline);
        if (ending == BrowseFetch::Ending::outOfTime) cutShort(QStringLiteral("day folders not listed"));
    };
    list(days);
    // NASA's newest image can be hours behind the clock, so the 48 hours before it may begin in the day
    // before the oldest folder listed (a first pass just after midnight): that folder is listed too.
    if (!days.empty() && (!from || from->date() < days.front()) && !Cache::stopRequested() &&
        outcome.writeFailure.isEmpty() && outcome.cutShort.isEmpty()) {
        std::optional<QDateTime> newest;
        for (const auto& [channel, images] : available)
            for (const Browse::Image& image : images)
                if (!newest || image.taken > *newest) newest = image.taken;
        if (newest && Browse::windowStart(*newest).date() < days.front()) list({days.front().addDays(-1)});
    }
    if (Cache::stopRequested()) return outcome;
    if (!outcome.reached) {
        outcome.reason = !firstError.isEmpty()         ? firstError
                         : !outcome.cutShort.isEmpty() ? outcome.cutShort
                                                       : QStringLiteral("no day folder could be listed");
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
    deadline.setBudget(Browse::passBudget(qsizetype(missing.size()), qsizetype(needed.size()),
                                          std::chrono::seconds(fillSeconds.load()),
                                          std::chrono::seconds(shortestSeconds.load())));

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
    size_t ended = 0;
    // Every image that arrived is decoded once before a clip is made of it, so that all that do not
    // decode are set aside in this pass and the clip is made from the rest.
    auto download = [&](const std::vector<Browse::Image>& images) {
        std::vector<BrowseFetch::Request> requests;
        for (const Browse::Image& image : images)
            requests.push_back(store.imageRequest(*address + QStringLiteral("/assets/img/browse/") +
                                                      dayPath(image.taken.date()) + QLatin1Char('/') +
                                                      image.name,
                                                  image, largestImage));
        std::vector<Browse::Image> arrived;
        const auto ending = BrowseFetch::run(
            requests,
            [&](size_t index, const BrowseFetch::Result& result) {
                ++ended;
                if (progress) progress(++done, total);
                if (!result.writeFailure.isEmpty()) {
                    refusedWrite(result.writeFailure);
                    return false;
                }
                if (store.acceptImage(images[index], result)) arrived.push_back(images[index]);
                return true;
            },
            &deadline);
        if (ending == BrowseFetch::Ending::outOfTime) {
            const size_t wantedImages = early.size() + missing.size();
            cutShort(
                QStringLiteral("%1 of %2 images not fetched").arg(wantedImages - ended).arg(wantedImages));
        }
        if (const auto& check = ClipMaking::decodes())
            for (const Browse::Image& image : arrived) {
                QString error;
                if (!check(store.path(image), error)) store.setAside(image.name, error);
            }
    };
    std::optional<RemoteProduct> made;
    QHash<QString, RemoteProduct> results;
    QSet<QString> moved; // a first-light clip and the full one of the same product count once
    auto makeAll = [&](const QStringList& ids, bool final) {
        for (const QString& id : ids) {
            if (Cache::stopRequested() || !outcome.writeFailure.isEmpty()) return;
            made.reset();
            const ClipMade result = make(id, store, made);
            if (result.moved) {
                moved.insert(id);
            } else if (!result.writeFailure.isEmpty()) {
                refusedWrite(result.writeFailure);
            } else if (!result.error.isEmpty() && final && !result.stopped) {
                // With NASA SDO silent and nothing on disk, "did not answer" above already says why.
                if (outcome.reached || result.error != noImages) logNoClip(id, result.error);
                outcome.failed << id;
            }
            if (made && QFileInfo::exists(Cache::file(id + QStringLiteral(".mp4"))))
                results.insert(id, *made);
            if (final && progress) progress(++done, total);
        }
    };
    auto canGoOn = [&] {
        return outcome.reached && outcome.writeFailure.isEmpty() && outcome.cutShort.isEmpty();
    };
    if (!firstLight.isEmpty()) {
        if (canGoOn()) download(early);
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
    if (canGoOn()) download(missing);
    if (Cache::stopRequested()) return outcome;
    if (outcome.writeFailure.isEmpty()) {
        store.removeOutsideWindows();
        store.removeListingsExcept(days);
    }
    results.clear();
    makeAll(products, true);
    for (const QString& id : products) {
        if (results.contains(id)) {
            outcome.products.push_back(results.value(id));
            if (results.value(id).updated > outcome.newest) outcome.newest = results.value(id).updated;
        } else if (!outcome.writeFailure.isEmpty() &&
                   !QFileInfo::exists(Cache::file(id + QStringLiteral(".mp4")))) {
            outcome.failed << id;
        }
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
        std::optional<RemoteProduct> made;
        const ClipMade clip = make(id, store, made);
        if (clip.moved) {
            result.made << id;
        } else if (!clip.error.isEmpty()) {
            // The light pass and the sharper clips come here; without this line a clip that failed to
            // be made left only "no clip re-made" in the log.
            if (!clip.stopped) logNoClip(id, clip.error);
            result.failed << id;
        }
        if (made && QFileInfo::exists(Cache::file(id + QStringLiteral(".mp4"))))
            result.products.push_back(*made);
    }
    return result;
}
