#include "SpaceWeather.h"

#include "Cache.h"
#include "JsonNumbers.h"
#include "Log.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
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
// X100.0 in tenths of the X multiplier: the first class beyond any flare ever measured.
constexpr double largestXTenths = 1000;

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
    if (!std::isfinite(flux) || flux <= 0) return {};
    std::size_t band = 0;
    while (band + 1 < bands.size() && flux >= bands[band + 1].base)
        ++band;
    double tenths = std::round(flux / bands[band].base * 10);
    if (tenths >= 100 && band + 1 < bands.size()) {
        ++band;
        tenths = std::round(flux / bands[band].base * 10);
    }
    // Below A0.1 no instrument reads a flux, and from X100 on no flare ever measured reached it.
    if (tenths < 1 || tenths >= largestXTenths) return {};
    return QStringLiteral("%1%2").arg(QChar(bands[band].letter)).arg(tenths / 10, 0, 'f', 1);
}

std::optional<double> fluxFromClass(const QString& flareClass) {
    // A letter and a plain decimal multiplier: "X1e2" or "C1.0e-300" name no class anyone writes.
    static const QRegularExpression form(QStringLiteral(R"(^([ABCMX])(\d{1,2}(?:\.\d{1,3})?)$)"));
    const QRegularExpressionMatch match = form.match(flareClass.trimmed());
    if (!match.hasMatch()) return std::nullopt;
    const QChar letter = match.captured(1).at(0);
    const auto band =
        std::find_if(bands.begin(), bands.end(), [&](const Band& b) { return letter == QChar(b.letter); });
    const double multiplier = match.captured(2).toDouble();
    // Each letter covers multipliers 1 to 10 of its own base (A also the faint ones below 1, X up to the
    // largest flare ever measured); "C0.5" is a B flare written wrong, not a C flare.
    const double floor = band->letter == 'A' ? 0.0 : 1.0;
    const double ceiling = band->letter == 'X' ? 100.0 : 10.0;
    if (multiplier <= 0 || multiplier < floor || multiplier >= ceiling) return std::nullopt;
    const double flux = multiplier * band->base;
    if (classFromFlux(flux).isEmpty()) return std::nullopt;
    return flux;
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
                     {QStringLiteral("xraysEtag"), record.xraysEtag},
                     {QStringLiteral("geomagnetic"), Geomagnetic::toJson(record.geomagnetic)}};
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
    record.geomagnetic = Geomagnetic::fromJson(root.value(QStringLiteral("geomagnetic")).toObject());
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
