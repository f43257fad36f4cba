// The refresh pass: prune, read the product list (falling back to the origin), download what is new,
// rewrite the manifest and record what happened.
#include "Cache.h"

#include "CacheSettings.h"
#include "Catalog.h"
#include "DirectSource.h"
#include "ImageryIndex.h"
#include "LargeStills.h"
#include "Log.h"
#include "PassDeadline.h"
#include "PassLock.h"
#include "SlotFill.h"
#include "SpaceWeatherFetch.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <atomic>

namespace {

// Set while a pass that fell back talks to the origin; every pass starts on the imagery host.
std::atomic<bool> onOrigin{false};

const QString indexKey = QStringLiteral("manifest/index.json");

struct ProductList {
    std::optional<std::vector<RemoteProduct>> products;
    bool reached = false;
};

std::optional<std::vector<RemoteProduct>> readLocalIndex() {
    QFile file(Cache::file(QStringLiteral("index.json")));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    auto index = ImageryIndex::decode(file.readAll());
    if (!index) return std::nullopt;
    return std::move(index->products);
}

// The origin publishes one fragment per product beside the index; used when no index can be had.
std::optional<std::vector<RemoteProduct>> fromFragments() {
    std::vector<RemoteProduct> products;
    for (const CatalogProduct& known : Catalog::all()) {
        const auto bytes = Cache::get(QStringLiteral("manifest/") + known.id + QStringLiteral(".json"));
        if (!bytes) continue;
        if (auto product = RemoteProduct::decode(*bytes)) products.push_back(std::move(*product));
    }
    if (products.empty()) return std::nullopt;
    return products;
}

ProductList obtainList(bool revalidate) {
    const QString local = Cache::file(QStringLiteral("index.json"));
    if (!revalidate && QFileInfo::exists(local)) return {readLocalIndex(), true};
    if (Cache::fetch(indexKey, local, Cache::largestIndexBytes, Cache::Request::index) !=
        Cache::Fetched::failed)
        return {readLocalIndex(), true};
    if (QFileInfo::exists(local)) return {readLocalIndex(), false};
    if (onOrigin.load() || CacheSettings::imageryHost() == Cache::origin()) {
        auto products = fromFragments();
        const bool reached = products.has_value();
        return {std::move(products), reached};
    }
    return {std::nullopt, false};
}

std::optional<QDateTime> localGenerated() {
    QFile file(Cache::file(QStringLiteral("index.json")));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const auto index = ImageryIndex::parse(file.readAll());
    if (!index || !index->generated) return std::nullopt;
    return Cache::generatedTime(*index->generated);
}

QString nowText() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

void removeProductFiles(const QString& id) {
    for (const QString& name : {id + QStringLiteral(".mp4"), id + QStringLiteral(".png")}) {
        QFile::remove(Cache::file(name));
        QFile::remove(Cache::file(name + QStringLiteral(".etag")));
        QFile::remove(Cache::file(name + QStringLiteral(".src")));
    }
    QFile::remove(Cache::file(id + QStringLiteral(".stamp")));
    QFile::remove(Cache::file(id + QStringLiteral(".png.stamp")));
    for (int size : {2048, 4096}) {
        QFile::remove(Cache::file(LargeStills::fileName(id, size)));
        QFile::remove(Cache::file(LargeStills::fileName(id, size) + QStringLiteral(".stamp")));
    }
}

// Tries the keys in order; the first that does not fail ends the attempts. Nothing when all failed.
std::optional<Cache::Fetched> fetchFirst(const QStringList& keys, const QString& destination) {
    for (const QString& key : keys)
        if (const auto outcome = Cache::fetch(key, destination); outcome != Cache::Fetched::failed)
            return outcome;
    return std::nullopt;
}

// The time of the newest imagery in the cache (the seed aside), empty when there is none.
QString newestOnDisk() {
    QString newest;
    for (const CacheEntry& entry : Cache::entries())
        if (entry.video != QLatin1String("seed.mp4") && entry.updated > newest) newest = entry.updated;
    return newest;
}

void logFinished(const Cache::LastPass& record) {
    log(QStringLiteral("pass: ") +
            (record.check ? QStringLiteral("checked") : QStringLiteral("filled missing")) +
            QStringLiteral(", ") + QString::number(record.moved) + QStringLiteral(" clips moved, ") +
            QString::number(record.pruned) + QStringLiteral(" products dropped"),
        LogArea::cache);
}

// The rest of a pass that reads NASA SDO's archive itself: no mirror is set, or the mirror failed.
std::optional<Cache::LastPass> directPass(Cache::LastPass record, const QSet<QString>& wanted,
                                          const Cache::Progress& progress) {
    record.host = QString::fromLatin1(DirectSource::hostLabel);
    // Products shown on large screens with sharper clips on are made from 2048-pixel images, after the
    // pass has listed the day folders.
    QSet<QString> sharp = CacheSettings::sharperProducts() & wanted;
    PassDeadline deadline = DirectSource::startingDeadline();
    DirectSource::Outcome outcome = DirectSource::run(wanted - sharp, progress, deadline);
    const auto base = DirectSource::base();
    // A pass cut short or refused a write leaves the larger images to the next one.
    const bool goOn = outcome.reached && outcome.cutShort.isEmpty() && outcome.writeFailure.isEmpty();
    if (!sharp.isEmpty() && goOn && base && !Cache::stopRequested()) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QStringList ids;
        for (const CatalogProduct& known : Catalog::all())
            if (sharp.contains(known.id) && !DirectSource::channelsOf(known.id).empty()) ids << known.id;
        const SlotFill::Result filled =
            SlotFill::run(ids, 2048, SlotFill::held(now), SlotFill::Reach::window, *base, now);
        outcome.moved += int(filled.made.made.size());
        outcome.failed << filled.made.failed;
        outcome.products.insert(outcome.products.end(), filled.made.products.begin(),
                                filled.made.products.end());
        outcome.newest = std::max(outcome.newest, filled.newest);
    }
    if (Cache::stopRequested()) {
        Cache::rewriteManifest(outcome.products);
        log(QStringLiteral("pass: stopped, ") + QString::number(outcome.moved) +
                QStringLiteral(" clips moved before the stop"),
            LogArea::cache);
        return std::nullopt;
    }
    if (progress) progress(1, 1);
    if (goOn) {
        const QSet<QString> plain = wanted - sharp; // a sharper clip's still is already 2048 pixels
        LargeStills::make(QStringList(plain.begin(), plain.end()), CacheSettings::stillSize());
    }
    // A pass that could not finish leaves the check due, so the next scheduled one goes on.
    if (record.check && goOn) CacheSettings::setLastCheck(QDateTime::currentDateTimeUtc());
    if (!outcome.products.empty()) Cache::rewriteManifest(outcome.products);
    record.reached = outcome.reached;
    record.reason = outcome.reason;
    record.writeFailure = outcome.writeFailure;
    record.cutShort = outcome.cutShort;
    record.moved = outcome.moved;
    record.listed = int(outcome.products.size());
    record.failed = outcome.failed;
    record.failed.sort();
    record.newest = newestOnDisk();
    record.finished = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    Cache::recordPass(record);
    logFinished(record);
    return record;
}

bool missingAny(const QSet<QString>& ids) {
    return std::any_of(ids.begin(), ids.end(), [](const QString& id) {
        return !QFileInfo::exists(Cache::file(id + QStringLiteral(".mp4")));
    });
}

struct OriginReset {
    ~OriginReset() { onOrigin.store(false); }
};

} // namespace

namespace Cache {
namespace {
std::optional<LastPass> imageryPass(bool check, bool everything, const Progress& progress);
}
} // namespace Cache

QString Cache::host() {
    return onOrigin.load() ? origin() : CacheSettings::imageryHost();
}

std::optional<Cache::LastPass> Cache::pass(bool check, bool everything, bool wait, const Progress& progress,
                                           bool* busy) {
    if (busy) *busy = false;
    // Not even the lock file goes into a folder of someone else's files.
    if (!claimFolder()) return std::nullopt;
    PassLock lock(dir(), wait ? PassLock::Wait::yes : PassLock::Wait::no);
    if (!lock.held()) {
        if (!stopRequested()) log(QStringLiteral("a refresh is already running"), LogArea::cache);
        if (busy) *busy = !stopRequested();
        return std::nullopt;
    }
    std::optional<LastPass> record = imageryPass(check, everything, progress);
    // Space weather rides along with every pass: a pass that checks asks at once, the hourly one when the
    // file is an hour old (a storm is news by the hour, not by the day); it skips itself when offline,
    // read-only or stopping.
    SpaceWeatherFetch::refresh(QDateTime::currentDateTimeUtc(),
                               check ? SpaceWeatherFetch::When::now : SpaceWeatherFetch::When::due);
    return record;
}

namespace Cache {
namespace {

// The imagery part of a pass, under the pass lock.
std::optional<LastPass> imageryPass(bool check, bool everything, const Progress& progress) {
    OriginReset resetOrigin;
    removeStaleTemporaries();
    seedIfEmptyLocked();

    const QSet<QString> wanted = wantedProducts(everything);

    int pruned = 0;
    if (!CacheSettings::offline()) {
        for (const CatalogProduct& known : Catalog::all()) {
            if (wanted.contains(known.id) || !QFileInfo::exists(file(known.id + QStringLiteral(".mp4"))))
                continue;
            removeProductFiles(known.id);
            ++pruned;
        }
    }
    bool missing = false;
    for (const QString& id : wanted)
        missing = missing || !QFileInfo::exists(file(id + QStringLiteral(".mp4")));
    if (!check && !missing) {
        if (pruned > 0) rewriteManifest();
        return std::nullopt;
    }

    LastPass record;
    record.check = check;
    record.everything = everything;
    record.pruned = pruned;
    if (CacheSettings::imageryHost().isEmpty()) return directPass(record, wanted, progress);

    ProductList list = obtainList(check);
    if (CacheSettings::imageryHost() != origin()) {
        const auto generated = check ? localGenerated() : std::nullopt;
        if (shouldUseOrigin(list.reached, generated, QDateTime::currentDateTimeUtc())) {
            log(QStringLiteral("imagery host ") +
                    (list.reached ? QStringLiteral("has stopped updating")
                                  : QStringLiteral("did not answer")) +
                    QStringLiteral("; using the origin for this pass"),
                LogArea::cache);
            if (originIsDirect()) {
                record.usedOrigin = true;
                return directPass(record, wanted, progress);
            }
            onOrigin.store(true);
            // The held ETag is the mirror's; the origin's tags mean nothing beside it, and a chance
            // match would keep the stale index. The local copy itself stays for when the origin fails.
            QFile::remove(file(QStringLiteral("index.json.etag")));
            list = obtainList(true);
        }
    }

    record.host = host();
    record.usedOrigin = onOrigin.load();
    record.reached = list.reached && list.products.has_value();
    if (!record.reached) {
        const QString failure = lastFailure();
        record.reason = failure.isEmpty() ? QStringLiteral("no usable product list") : failure;
    }
    if (!list.products) {
        log(QStringLiteral("no product list from the server; keeping the cache"), LogArea::cache);
        record.finished = nowText();
        record.newest = newestOnDisk();
        recordPass(record);
        return record;
    }

    const std::vector<RemoteProduct>& products = *list.products;
    const int total = int(products.size());
    QSet<QString> failed;
    for (int position = 0; position < total; ++position) {
        const RemoteProduct& product = products[size_t(position)];
        if (!wanted.contains(product.id)) continue;
        if (stopRequested()) break;
        if (progress) progress(position, total);
        const QString clip = file(product.id + QStringLiteral(".mp4"));
        if (check || !QFileInfo::exists(clip)) {
            const auto outcome = fetchFirst(product.videos(), clip);
            if (!outcome) failed.insert(product.id);
            if (outcome == Fetched::changed) {
                note(product.updated, file(product.id + QStringLiteral(".stamp")));
                ++record.moved;
            }
        }
        const QString still = file(product.id + QStringLiteral(".png"));
        if (check || !QFileInfo::exists(still)) {
            const auto outcome = fetchFirst(product.stills(), still);
            if (!outcome) failed.insert(product.id);
            if (outcome == Fetched::changed)
                note(product.updated, file(product.id + QStringLiteral(".png.stamp")));
        }
    }
    if (stopRequested()) {
        // What is complete stays and is listed; the pass is not recorded as one that ran.
        rewriteManifest(products);
        log(QStringLiteral("pass: stopped, ") + QString::number(record.moved) +
                QStringLiteral(" clips moved before the stop"),
            LogArea::cache);
        return std::nullopt;
    }
    if (progress) progress(total, total);

    // Products the mirror does not publish that NASA SDO's archive has (HMI's pictures) come from there.
    std::vector<RemoteProduct> listed = products;
    QSet<QString> leftOver;
    for (const QString& id : wanted)
        if (!DirectSource::channelsOf(id).empty() &&
            std::none_of(products.begin(), products.end(), [&id](const auto& p) { return p.id == id; }))
            leftOver.insert(id);
    if (!leftOver.isEmpty() && (check || missingAny(leftOver))) {
        PassDeadline deadline = DirectSource::startingDeadline();
        const DirectSource::Outcome direct = DirectSource::run(leftOver, {}, deadline);
        record.moved += direct.moved;
        for (const QString& id : direct.failed)
            failed.insert(id);
        listed.insert(listed.end(), direct.products.begin(), direct.products.end());
    }

    if (check) CacheSettings::setLastCheck(QDateTime::currentDateTimeUtc());
    rewriteManifest(listed);
    record.finished = nowText();
    record.listed = int(listed.size());
    record.failed = QStringList(failed.begin(), failed.end());
    record.failed.sort();
    record.newest = newestOnDisk();
    recordPass(record);
    logFinished(record);
    return record;
}

} // namespace
} // namespace Cache

bool Cache::refresh() {
    if (CacheSettings::offline() || readOnly()) {
        log(QStringLiteral("offline or read-only, not refreshing the cache"), LogArea::cache);
        return true;
    }
    const auto every = std::chrono::seconds(qint64(CacheSettings::refreshMinutes() * 60));
    const bool due = isDue(CacheSettings::lastCheck(), every, QDateTime::currentDateTimeUtc());
    bool busy = false;
    pass(due, false, false, {}, &busy);
    return !busy;
}

bool Cache::waitForRunningPass(std::chrono::seconds longest) {
    const PassLock lock(dir(), PassLock::Wait::yes, longest);
    return lock.held();
}

QSet<QString> Cache::wantedProducts(bool everything) {
    QSet<QString> wanted;
    const auto inUse = everything ? std::nullopt : CacheSettings::productsInUse();
    for (const CatalogProduct& known : Catalog::all())
        if (!inUse || inUse->isEmpty() || inUse->contains(known.id)) wanted.insert(known.id);
    return wanted;
}

std::optional<QDateTime> Cache::refreshNow(bool everything, const Progress& progress) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime last = CacheSettings::lastManual();
    if (last.isValid() && !isDue(last, manualSpacing, now)) return last.addSecs(manualSpacing.count());
    CacheSettings::setLastManual(now);
    pass(true, everything, true, progress);
    return std::nullopt;
}
