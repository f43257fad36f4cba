#include "FollowPass.h"

#include "BrowseFetch.h"
#include "BrowseRules.h"
#include "Cache.h"
#include "CacheSettings.h"
#include "Catalog.h"
#include "ClipMaking.h"
#include "DirectSource.h"
#include "DirectStore.h"
#include "Follow.h"
#include "LargeStills.h"
#include "Log.h"
#include "PassLock.h"
#include "SlotFill.h"

#include <algorithm>
#include <atomic>

namespace {

// Set once a server answered a ranged request with the whole listing: it is then asked for all of it,
// compressed, which costs it (and us) less than the whole listing plain.
std::atomic<bool> rangesIgnored{false};

QString folderURL(const QString& base, const QDate& day) {
    return base + QStringLiteral("/assets/img/browse/") + day.toString(QStringLiteral("yyyy/MM/dd")) +
           QLatin1Char('/');
}

QString clock(const QString& iso) {
    return QDateTime::fromString(iso, Qt::ISODate).toUTC().toString(QStringLiteral("HH:mm")) +
           QStringLiteral(" UTC");
}

} // namespace

FollowPass::Outcome FollowPass::run(const QSet<QString>& products, const QDateTime& now) {
    Outcome outcome;
    if (!ClipMaking::makeClip()) {
        outcome.skipped = QStringLiteral("this program does not make clips");
        return outcome;
    }
    QString why;
    const auto base = DirectSource::base(&why);
    if (!base) {
        outcome.skipped = why;
        return outcome;
    }
    PassLock lock(Cache::dir(), PassLock::Wait::no);
    if (!lock.held()) {
        outcome.skipped = QStringLiteral("a refresh is running");
        return outcome;
    }

    // Products shown on large screens with sharper clips on are made from 2048-pixel images.
    const QSet<QString> sharper = CacheSettings::sharperProducts();
    QStringList ids;
    QStringList sharp;
    for (const CatalogProduct& known : Catalog::all()) {
        if (!products.contains(known.id)) continue;
        const std::vector<int> members = DirectSource::channelsOf(known.id);
        if (members.empty()) continue; // made by a mirror only
        (sharper.contains(known.id) ? sharp : ids) << known.id;
    }
    if (ids.isEmpty() && sharp.isEmpty()) {
        outcome.skipped = QStringLiteral("no shown product is made from NASA SDO's images");
        return outcome;
    }
    DirectStore store(Cache::file(QStringLiteral("direct")), {});

    // 1. The end of each day's listing; the whole of it only where no copy is held or the end does not
    // join the copy.
    std::vector<SlotFill::Listing> listings;
    QString firstError;
    std::vector<QDate> whole;
    std::vector<BrowseFetch::Request> tails;
    std::vector<QDate> tailDays;
    for (const QDate& day : Follow::folders(now)) {
        const auto tail = rangesIgnored ? std::nullopt : store.tailRequest(folderURL(*base, day), day);
        if (!tail) {
            whole.push_back(day);
            continue;
        }
        tails.push_back(*tail);
        tailDays.push_back(day);
    }
    auto count = [&](const BrowseFetch::Result& result) {
        ++outcome.requests;
        outcome.listingBytes += result.wireBytes;
        if (result.status == 200 || result.status == 206 || result.status == 304) {
            outcome.reached = true;
        } else if (firstError.isEmpty()) {
            firstError = result.status == 0 ? result.error : QStringLiteral("HTTP %1").arg(result.status);
        }
    };
    BrowseFetch::run(tails, [&](size_t index, const BrowseFetch::Result& result) {
        count(result);
        const QDate day = tailDays[index];
        if (result.status == 200) rangesIgnored = true;
        if (const auto listing = store.acceptTail(day, result))
            listings.push_back({day, *listing});
        else if (result.status != 0 && result.status != 404)
            whole.push_back(day);
        // A download the cache folder refused to write leaves the rest for another pass.
        return result.writeFailure.isEmpty();
    });
    std::vector<BrowseFetch::Request> full;
    for (const QDate& day : whole)
        full.push_back(store.listingRequest(folderURL(*base, day), day));
    BrowseFetch::run(full, [&](size_t index, const BrowseFetch::Result& result) {
        count(result);
        if (const auto listing = store.acceptListing(whole[index], result))
            listings.push_back({whole[index], *listing});
        // A download the cache folder refused to write leaves the rest for another pass.
        return result.writeFailure.isEmpty();
    });
    if (Cache::stopRequested()) return outcome;
    if (!outcome.reached) {
        outcome.reason = firstError.isEmpty() ? QStringLiteral("no day folder could be listed") : firstError;
        log(QStringLiteral("follow: NASA SDO did not answer: ") + outcome.reason, LogArea::cache);
        return outcome;
    }

    // 2. New slots only, then the clips whose slots changed; the maker lowers its own priority.
    std::vector<RemoteProduct> made;
    for (const auto& [group, size] : {std::pair{ids, Browse::imageSize}, std::pair{sharp, 2048}}) {
        const SlotFill::Result filled =
            SlotFill::run(group, size, listings, SlotFill::Reach::newSlots, *base, now);
        outcome.newImages += filled.newImages;
        outcome.requests += filled.requests;
        outcome.imageBytes += filled.bytes;
        outcome.made << filled.made.made;
        outcome.failed << filled.made.failed;
        made.insert(made.end(), filled.made.products.begin(), filled.made.products.end());
        outcome.newest = std::max(outcome.newest, filled.newest);
    }
    if (!outcome.made.isEmpty()) Cache::rewriteManifest(made);
    const LargeStills::Cost stills = LargeStills::make(ids, CacheSettings::stillSize());
    outcome.requests += stills.requests;
    outcome.imageBytes += stills.bytes;
    log(QStringLiteral("follow: ") + (ids + sharp).join(QStringLiteral(", ")) + QStringLiteral(": ") +
            QString::number(outcome.newImages) + QStringLiteral(" new image(s), ") +
            (outcome.made.isEmpty() ? QStringLiteral("no clip re-made")
                                    : outcome.made.join(QStringLiteral(", ")) + QStringLiteral(" re-made")) +
            (outcome.failed.isEmpty()
                 ? QString()
                 : QStringLiteral(", no clip made for ") + outcome.failed.join(QStringLiteral(", "))) +
            (outcome.newest.isEmpty() ? QString() : QStringLiteral("; newest ") + clock(outcome.newest)),
        LogArea::cache);
    return outcome;
}
