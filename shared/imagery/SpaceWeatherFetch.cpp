#include "SpaceWeatherFetch.h"

#include "Cache.h"
#include "CacheSettings.h"
#include "GeomagneticReader.h"
#include "HttpClient.h"
#include "Log.h"
#include "SwpcReader.h"

#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <array>
#include <atomic>

namespace SpaceWeatherFetch {
namespace {

// The real files are bytes to hundreds of kilobytes; anything far larger is not them.
constexpr qsizetype largeBody = qsizetype(16) << 20;
constexpr qsizetype smallBody = qsizetype(1) << 20;
// A clock a little behind the host's still takes its newest data.
constexpr qint64 aheadSeconds = 3600;
// Limits a test set in place of the usual ones; 0 for none.
std::atomic<long> stallOverride{0};
std::atomic<long> totalOverride{0};

using Record = SpaceWeather::Record;
// What a body gave: nothing when the record took something from it, else why not, in words.
using Taken = std::optional<QString>;

// One of the files: where it is, how large it may be, the validator the record keeps for it (sent only
// while the record still holds what it vouches for), how a new body goes into the record, and what the
// record keeps of it when the host says it has not changed.
struct Product {
    const char* path;
    qsizetype largest;
    QString& (*etag)(Record&);
    bool (*held)(const Record&);
    Taken (*take)(const QByteArray&, Record&, const QDateTime& now);
    void (*unchanged)(Record&, const QDateTime& now);
};

QDateTime latestAllowed(const QDateTime& now) {
    return now.addSecs(aheadSeconds);
}

Taken takeXrays(const QByteArray& body, Record& record, const QDateTime& now) {
    const auto samples = SwpcReader::longSamples(body, latestAllowed(now));
    if (!samples) return QStringLiteral("not a JSON list");
    if (samples->empty()) return QStringLiteral("no long-channel sample in it");
    record.latest = samples->back();
    return std::nullopt;
}

int primaryOf(const Record& record) {
    return record.latest ? record.latest->satellite : 0;
}

Taken takeFlares(const QByteArray& body, Record& record, const QDateTime& now) {
    const auto listed = SwpcReader::flares(body);
    if (!listed) return QStringLiteral("not a JSON list");
    record.flares = kept(*listed, primaryOf(record), now);
    return std::nullopt;
}

// The 3-hourly intervals of the week up to `now` (and a little ahead of the clock).
std::vector<Geomagnetic::Reading> recentIntervals(const std::vector<Geomagnetic::Reading>& all,
                                                  const QDateTime& now) {
    std::vector<Geomagnetic::Reading> chosen;
    for (const Geomagnetic::Reading& reading : all)
        if (reading.time >= now.addSecs(-Geomagnetic::keptSeconds) && reading.time <= latestAllowed(now))
            chosen.push_back(reading);
    return chosen;
}

Taken takeKp(const QByteArray& body, Record& record, const QDateTime& now) {
    const auto intervals = GeomagneticReader::kpIntervals(body);
    if (!intervals) return QStringLiteral("not a JSON list");
    const auto recent = recentIntervals(*intervals, now);
    if (recent.empty()) return QStringLiteral("no Kp of the last week in it");
    record.geomagnetic.kp = recent;
    return std::nullopt;
}

Taken takeKpNow(const QByteArray& body, Record& record, const QDateTime& now) {
    const auto estimates = GeomagneticReader::kpEstimates(body);
    if (!estimates) return QStringLiteral("not a JSON list");
    std::optional<Geomagnetic::Reading> newest;
    for (const Geomagnetic::Reading& reading : *estimates)
        if (reading.time <= latestAllowed(now)) newest = reading;
    if (!newest) return QStringLiteral("no Kp estimate in it");
    record.geomagnetic.kpNow = newest;
    return std::nullopt;
}

Taken takeScales(const QByteArray& body, Record& record, const QDateTime& now) {
    const auto scales = GeomagneticReader::scales(body);
    if (!scales || scales->time > latestAllowed(now)) return QStringLiteral("no current scales in it");
    record.geomagnetic.scales = scales;
    return std::nullopt;
}

Taken takeWind(const QByteArray& body, Record& record, const QDateTime& now) {
    const auto readings = GeomagneticReader::solarWind(body);
    if (!readings) return QStringLiteral("not a JSON list");
    // The newest reading with a speed, else the newest of all.
    std::optional<Geomagnetic::SolarWind> newest, newestWithSpeed;
    for (const Geomagnetic::SolarWind& reading : *readings) {
        if (reading.time > latestAllowed(now)) continue;
        newest = reading;
        if (reading.speed) newestWithSpeed = reading;
    }
    if (!newest) return QStringLiteral("no solar wind reading in it");
    record.geomagnetic.wind = newestWithSpeed ? newestWithSpeed : newest;
    return std::nullopt;
}

void keepAsIs(Record&, const QDateTime&) {}

const std::array<Product, 6>& products() {
    static const std::array<Product, 6> all{{
        {xraysPath, largeBody, [](Record& r) -> QString& { return r.xraysEtag; },
         [](const Record& r) { return r.latest.has_value(); }, takeXrays, keepAsIs},
        {flaresPath, largeBody, [](Record& r) -> QString& { return r.flaresEtag; },
         [](const Record&) { return true; }, takeFlares,
         [](Record& r, const QDateTime& now) { r.flares = kept(r.flares, primaryOf(r), now); }},
        {kpPath, smallBody, [](Record& r) -> QString& { return r.geomagnetic.kpEtag; },
         [](const Record& r) { return !r.geomagnetic.kp.empty(); }, takeKp,
         [](Record& r, const QDateTime& now) { r.geomagnetic.kp = recentIntervals(r.geomagnetic.kp, now); }},
        {kpNowPath, smallBody, [](Record& r) -> QString& { return r.geomagnetic.kpNowEtag; },
         [](const Record& r) { return r.geomagnetic.kpNow.has_value(); }, takeKpNow, keepAsIs},
        {scalesPath, smallBody, [](Record& r) -> QString& { return r.geomagnetic.scalesEtag; },
         [](const Record& r) { return r.geomagnetic.scales.has_value(); }, takeScales, keepAsIs},
        {windPath, smallBody, [](Record& r) -> QString& { return r.geomagnetic.windEtag; },
         [](const Record& r) { return r.geomagnetic.wind.has_value(); }, takeWind, keepAsIs},
    }};
    return all;
}

QString fileName(const char* path) {
    return QString::fromLatin1(path).section(QLatin1Char('/'), -1);
}

} // namespace

Cache::TimeLimits timeLimits() {
    const Cache::TimeLimits usual = Cache::timeLimits(Cache::Request::fragment);
    const long stall = stallOverride.load(), total = totalOverride.load();
    return {stall > 0 ? std::chrono::seconds(stall) : usual.stall,
            total > 0 ? std::chrono::seconds(total) : usual.total};
}

void setTimeLimits(std::chrono::seconds stall, std::chrono::seconds total) {
    stallOverride.store(long(stall.count()));
    totalOverride.store(long(total.count()));
}

std::chrono::seconds budget() {
    return timeLimits().total * 3 / 2;
}

std::optional<QString> base(QString* error) {
    return HttpClient::httpsBase(SpaceWeather::defaultBase, "SOLVANE_SWPC_BASE",
                                 QStringLiteral("the space-weather address"), error);
}

std::vector<SpaceWeather::Flare> kept(const std::vector<SpaceWeather::Flare>& listed, int primary,
                                      const QDateTime& now) {
    const QDateTime from = now.addSecs(-qint64(std::chrono::seconds(keptFor).count()));
    const QDateTime to = now.addSecs(aheadSeconds);
    std::vector<SpaceWeather::Flare> chosen;
    QHash<QDateTime, size_t> byStart; // a flare is known by its begin (its peak while none is given)
    for (const SpaceWeather::Flare& flare : SpaceWeather::within(listed, from, to)) {
        const QDateTime start = flare.begin.isValid() ? flare.begin : flare.peak;
        const auto found = byStart.constFind(start);
        if (found == byStart.constEnd()) {
            byStart.insert(start, chosen.size());
            chosen.push_back(flare);
        } else if (flare.satellite == primary && chosen[*found].satellite != primary) {
            chosen[*found] = flare;
        }
    }
    std::stable_sort(
        chosen.begin(), chosen.end(),
        [](const SpaceWeather::Flare& a, const SpaceWeather::Flare& b) { return a.when() < b.when(); });
    return chosen;
}

Outcome refresh(const QDateTime& now, When when) {
    if (CacheSettings::offline() || Cache::readOnly() || Cache::stopRequested()) return Outcome::skipped;
    const std::optional<SpaceWeather::Record> held = SpaceWeather::load();
    if (when == When::due && held && held->fetched.isValid() && held->fetched <= now &&
        held->fetched.secsTo(now) < std::chrono::seconds(spacing).count())
        return Outcome::skipped;
    QString since = QStringLiteral("no file yet");
    if (held)
        since = held->fetched.isValid()
                    ? QStringLiteral("keeping the file from ") + held->fetched.toString(Qt::ISODate)
                    : QStringLiteral("keeping the file");
    QString error;
    const std::optional<QString> root = base(&error);
    if (!root) {
        log(QStringLiteral("space weather: ") + error + QStringLiteral("; ") + since, LogArea::cache);
        return Outcome::kept;
    }
    const QString host = QUrl(*root).authority();

    Record record = held.value_or(Record());
    const Cache::TimeLimits limits = timeLimits();
    QElapsedTimer clock;
    clock.start();
    bool answered = false;
    QStringList problems;
    for (const Product& product : products()) {
        if (Cache::stopRequested()) return Outcome::kept;
        const QString name = fileName(product.path);
        const qint64 left = budget().count() - clock.elapsed() / 1000;
        if (left < 1) {
            problems << QStringLiteral("%1 not asked: the %2 s for space weather ran out")
                            .arg(name)
                            .arg(budget().count());
            continue;
        }
        QString& etag = product.etag(record);
        const QString validator = product.held(record) ? etag : QString();
        const auto total = std::min(limits.total, std::chrono::seconds(left));
        QString failure;
        const auto answer =
            HttpClient::getConditional(*root + QLatin1String(product.path), validator, &failure,
                                       product.largest, std::min(limits.stall, total), total);
        if (!answer) {
            const QString problem = QStringLiteral("can't reach %1: %2").arg(host, failure);
            if (!problems.contains(problem)) problems << problem;
            continue;
        }
        if (answer->status == 304) {
            answered = true;
            product.unchanged(record, now);
            continue;
        }
        if (const Taken why = product.take(answer->body, record, now)) {
            problems << QStringLiteral("%1 gave an unreadable %2 (%3)").arg(host, name, *why);
            continue;
        }
        answered = true;
        etag = answer->etag;
    }
    if (!problems.isEmpty())
        log(QStringLiteral("space weather: ") + problems.join(QStringLiteral("; ")) + QStringLiteral("; ") +
                (answered ? QStringLiteral("keeping the older part of the file") : since),
            LogArea::cache);
    if (!answered) return Outcome::kept;
    record.fetched = now.toUTC();
    return SpaceWeather::save(record) ? Outcome::updated : Outcome::kept;
}

} // namespace SpaceWeatherFetch
