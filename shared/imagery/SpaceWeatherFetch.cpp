#include "SpaceWeatherFetch.h"

#include "Cache.h"
#include "CacheSettings.h"
#include "HttpClient.h"
#include "Log.h"
#include "SwpcReader.h"

#include <QHash>
#include <QStringList>
#include <QUrl>
#include <algorithm>

namespace SpaceWeatherFetch {
namespace {

// The real files are tens and hundreds of kilobytes; anything far larger is not them.
constexpr qsizetype largestBody = qsizetype(16) << 20;
// A clock a little behind the host's still takes its newest data.
constexpr qint64 aheadSeconds = 3600;

struct Source {
    QString name; // the file's name, for the log
    std::optional<HttpClient::Answer> answer;
    QString problem; // what went wrong, in words; empty when the answer is usable
};

Source ask(const QString& root, const char* path, const QString& etag, const QString& host) {
    Source source;
    source.name = QString::fromLatin1(path).section(QLatin1Char('/'), -1);
    const Cache::TimeLimits limits = Cache::timeLimits(Cache::Request::fragment);
    QString error;
    source.answer = HttpClient::getConditional(root + QLatin1String(path), etag, &error, largestBody,
                                               limits.stall, limits.total);
    if (!source.answer) source.problem = QStringLiteral("can't reach %1: %2").arg(host, error);
    return source;
}

void unreadable(Source& source, const QString& host, const QString& why) {
    source.problem = QStringLiteral("%1 gave an unreadable %2 (%3)").arg(host, source.name, why);
}

} // namespace

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

Outcome refresh(const QDateTime& now) {
    if (CacheSettings::offline() || Cache::readOnly() || Cache::stopRequested()) return Outcome::skipped;
    const std::optional<SpaceWeather::Record> held = SpaceWeather::load();
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

    SpaceWeather::Record record = held.value_or(SpaceWeather::Record());
    // A validator vouches only for data the file still holds.
    Source xrays = ask(*root, xraysPath, held && held->latest ? held->xraysEtag : QString(), host);
    Source flares = ask(*root, flaresPath, held ? held->flaresEtag : QString(), host);
    if (Cache::stopRequested()) return Outcome::kept;

    bool answered = false;
    if (xrays.answer && xrays.answer->status == 304) {
        answered = true;
    } else if (xrays.answer) {
        const auto samples = SwpcReader::longSamples(xrays.answer->body, now.addSecs(aheadSeconds));
        std::optional<SpaceWeather::Sample> newest;
        if (samples && !samples->empty()) newest = samples->back();
        if (!samples)
            unreadable(xrays, host, QStringLiteral("not a JSON list"));
        else if (!newest)
            unreadable(xrays, host, QStringLiteral("no long-channel sample in it"));
        else {
            answered = true;
            record.latest = newest;
            record.xraysEtag = xrays.answer->etag;
        }
    }
    const int primary = record.latest ? record.latest->satellite : 0;
    if (flares.answer && flares.answer->status == 304) {
        answered = true;
        record.flares = kept(record.flares, primary, now);
    } else if (flares.answer) {
        if (const auto listed = SwpcReader::flares(flares.answer->body)) {
            answered = true;
            record.flares = kept(*listed, primary, now);
            record.flaresEtag = flares.answer->etag;
        } else {
            unreadable(flares, host, QStringLiteral("not a JSON list"));
        }
    }

    QStringList problems;
    for (const Source* source : {&xrays, &flares})
        if (!source->problem.isEmpty() && !problems.contains(source->problem)) problems << source->problem;
    if (!problems.isEmpty())
        log(QStringLiteral("space weather: ") + problems.join(QStringLiteral("; ")) + QStringLiteral("; ") +
                (answered ? QStringLiteral("keeping the older part of the file") : since),
            LogArea::cache);
    if (!answered) return Outcome::kept;
    record.fetched = now.toUTC();
    return SpaceWeather::save(record) ? Outcome::updated : Outcome::kept;
}

} // namespace SpaceWeatherFetch
