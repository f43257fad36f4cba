#include "SpaceWeather.h"

#include "Cache.h"
#include "JsonNumbers.h"
#include "Log.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cmath>

namespace SpaceWeather {
namespace {

struct Band {
    char letter;
    double base; // the flux of multiplier 1
};
constexpr std::array<Band, 5> bands{{{'A', 1e-8}, {'B', 1e-7}, {'C', 1e-6}, {'M', 1e-5}, {'X', 1e-4}}};
constexpr double largestFlux = 1e-2;

QDateTime readTime(const QJsonValue& value) {
    if (!value.isString()) return {};
    QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

QJsonValue writeTime(const QDateTime& time) {
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

int readSatellite(const QJsonValue& value) {
    double number = value.toDouble(0);
    return number >= 1 && number <= 99 ? int(number) : 0;
}

bool cleanValidator(const QString& text) {
    return text.size() <= 256 && std::none_of(text.begin(), text.end(), [](QChar c) {
               return c.unicode() < 0x20 || c.unicode() == 0x7f;
           });
}

} // namespace

QString classFromFlux(double flux) {
    if (!std::isfinite(flux) || flux <= 0 || flux > largestFlux) return {};
    std::size_t band = 0;
    while (band + 1 < bands.size() && flux >= bands[band + 1].base)
        ++band;
    double tenths = std::round(flux / bands[band].base * 10);
    if (tenths >= 100 && band + 1 < bands.size()) {
        ++band;
        tenths = std::round(flux / bands[band].base * 10);
    }
    tenths = std::max(tenths, 1.0); // the faintest A-class flux still reads as a class
    return QStringLiteral("%1%2").arg(QChar(bands[band].letter)).arg(tenths / 10, 0, 'f', 1);
}

std::optional<double> fluxFromClass(const QString& flareClass) {
    QString text = flareClass.trimmed();
    if (text.size() < 2) return std::nullopt;
    auto band =
        std::find_if(bands.begin(), bands.end(), [&](const Band& b) { return text[0] == QChar(b.letter); });
    if (band == bands.end()) return std::nullopt;
    bool ok = false;
    double multiplier = text.mid(1).toDouble(&ok);
    double ceiling = band->letter == 'X' ? 1000 : 10;
    if (!ok || !std::isfinite(multiplier) || multiplier <= 0 || multiplier >= ceiling) return std::nullopt;
    return multiplier * band->base;
}

QString satelliteName(int satellite) {
    return satellite > 0 ? QStringLiteral("GOES-%1").arg(satellite) : QString();
}

QString sourceName(int satellite) {
    return satellite > 0 ? QStringLiteral("NOAA SWPC (%1)").arg(satelliteName(satellite))
                         : QStringLiteral("NOAA SWPC");
}

std::vector<Flare> within(const std::vector<Flare>& flares, const QDateTime& from, const QDateTime& to) {
    std::vector<Flare> chosen;
    for (const Flare& flare : flares) {
        QDateTime when = flare.when();
        if (when.isValid() && when >= from && when <= to) chosen.push_back(flare);
    }
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const Flare& a, const Flare& b) { return a.when() < b.when(); });
    return chosen;
}

std::optional<Flare> largest(const std::vector<Flare>& flares) {
    std::optional<Flare> best;
    double bestFlux = 0;
    for (const Flare& flare : flares) {
        std::optional<double> flux = fluxFromClass(flare.peakClass);
        if (!flux || *flux <= bestFlux) continue;
        best = flare;
        bestFlux = *flux;
    }
    return best;
}

QByteArray encode(const Record& record) {
    QJsonArray flares;
    for (const Flare& flare : record.flares) {
        flares.append(QJsonObject{{QStringLiteral("begin"), writeTime(flare.begin)},
                                  {QStringLiteral("peak"), writeTime(flare.peak)},
                                  {QStringLiteral("end"), writeTime(flare.end)},
                                  {QStringLiteral("class"), flare.peakClass},
                                  {QStringLiteral("satellite"), flare.satellite}});
    }
    QJsonObject root{{QStringLiteral("fetched"), writeTime(record.fetched)},
                     {QStringLiteral("flares"), flares},
                     {QStringLiteral("flaresEtag"), record.flaresEtag},
                     {QStringLiteral("xraysEtag"), record.xraysEtag}};
    if (record.latest) {
        root.insert(QStringLiteral("latest"),
                    QJsonObject{{QStringLiteral("time"), writeTime(record.latest->time)},
                                {QStringLiteral("flux"), record.latest->flux},
                                {QStringLiteral("satellite"), record.latest->satellite}});
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<Record> decode(const QByteArray& bytes) {
    QJsonDocument document = JsonNumbers::parse(bytes, nullptr);
    if (!document.isObject()) return std::nullopt;
    QJsonObject root = document.object();
    Record record;
    record.fetched = readTime(root.value(QStringLiteral("fetched")));
    for (const QJsonValue& value : root.value(QStringLiteral("flares")).toArray()) {
        QJsonObject item = value.toObject();
        Flare flare;
        flare.begin = readTime(item.value(QStringLiteral("begin")));
        flare.peak = readTime(item.value(QStringLiteral("peak")));
        flare.end = readTime(item.value(QStringLiteral("end")));
        flare.peakClass = item.value(QStringLiteral("class")).toString();
        flare.satellite = readSatellite(item.value(QStringLiteral("satellite")));
        if (!flare.when().isValid() || !fluxFromClass(flare.peakClass)) continue;
        record.flares.push_back(flare);
    }
    std::stable_sort(record.flares.begin(), record.flares.end(),
                     [](const Flare& a, const Flare& b) { return a.when() < b.when(); });
    QJsonObject latest = root.value(QStringLiteral("latest")).toObject();
    Sample sample{readTime(latest.value(QStringLiteral("time"))),
                  latest.value(QStringLiteral("flux")).toDouble(0),
                  readSatellite(latest.value(QStringLiteral("satellite")))};
    if (sample.time.isValid() && !classFromFlux(sample.flux).isEmpty()) record.latest = sample;
    QString flaresEtag = root.value(QStringLiteral("flaresEtag")).toString();
    QString xraysEtag = root.value(QStringLiteral("xraysEtag")).toString();
    if (cleanValidator(flaresEtag)) record.flaresEtag = flaresEtag;
    if (cleanValidator(xraysEtag)) record.xraysEtag = xraysEtag;
    return record;
}

std::optional<Record> load() {
    QFile file(Cache::file(QString::fromLatin1(fileName)));
    if (!file.exists()) return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        log(QStringLiteral("%1 unreadable: %2").arg(QString::fromLatin1(fileName), file.errorString()),
            LogArea::cache);
        return std::nullopt;
    }
    std::optional<Record> record = decode(file.read(qint64(4) << 20));
    if (!record)
        log(QStringLiteral("%1 unreadable: not a JSON object").arg(QString::fromLatin1(fileName)),
            LogArea::cache);
    return record;
}

bool save(const Record& record) {
    QString error;
    if (Cache::writeAtomically(Cache::file(QString::fromLatin1(fileName)), encode(record), &error))
        return true;
    log(QStringLiteral("could not write %1: %2").arg(QString::fromLatin1(fileName), error), LogArea::cache);
    return false;
}

} // namespace SpaceWeather
