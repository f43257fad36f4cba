#include "SwpcReader.h"

#include "JsonNumbers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <map>

namespace SwpcReader {
namespace {

std::optional<QJsonArray> array(const QByteArray& bytes) {
    const QJsonDocument document = JsonNumbers::parse(bytes, nullptr);
    if (!document.isArray()) return std::nullopt;
    return document.array();
}

QDateTime timeOf(const QJsonObject& item, const char* key) {
    const QJsonValue value = item.value(QLatin1String(key));
    return value.isString() ? readTime(value.toString()) : QDateTime();
}

// GOES satellites are numbered 1 to 99; the files give a number, some other feeds a numeric text.
int satelliteOf(const QJsonObject& item) {
    const QJsonValue value = item.value(QLatin1String("satellite"));
    double number = 0;
    if (value.isDouble())
        number = value.toDouble();
    else if (value.isString())
        number = value.toString().trimmed().toDouble();
    return number >= 1 && number <= 99 && number == std::trunc(number) ? int(number) : 0;
}

// A class as a person reads it, or empty when the text names no believable class: "m1.2" and " M1.2 "
// read as "M1.2", "X28" as "X28.0", and a class beyond any flare ever measured (X100 and up) is empty.
QString classOf(const QJsonValue& value) {
    if (!value.isString()) return {};
    const std::optional<double> flux = SpaceWeather::fluxFromClass(value.toString().trimmed().toUpper());
    return flux ? SpaceWeather::classFromFlux(*flux) : QString();
}

// SWPC writes "Unk" for what it does not know yet, as it writes null.
bool unknown(const QJsonValue& value) {
    return value.isNull() || value.isUndefined() ||
           (value.isString() &&
            value.toString().trimmed().compare(QLatin1String("Unk"), Qt::CaseInsensitive) == 0);
}

// The class of a flare while its maximum is not known: the larger of the class it began with and the
// class now, as the X-ray level may already stand far above where the flare began.
QString classSoFar(const QJsonObject& item) {
    const QString began = classOf(item.value(QLatin1String("begin_class")));
    const QString now = classOf(item.value(QLatin1String("current_class")));
    const double beganFlux = SpaceWeather::fluxFromClass(began).value_or(0);
    const double nowFlux = SpaceWeather::fluxFromClass(now).value_or(0);
    return nowFlux > beganFlux ? now : began;
}

} // namespace

QDateTime readTime(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}(:\d{2}(\.\d{1,9})?)?Z$)"));
    if (text.size() > 40 || !form.match(text).hasMatch()) return {};
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

std::optional<std::vector<SpaceWeather::Flare>> flares(const QByteArray& bytes) {
    const std::optional<QJsonArray> items = array(bytes);
    if (!items) return std::nullopt;
    std::vector<SpaceWeather::Flare> found;
    for (const QJsonValue& value : *items) {
        if (!value.isObject()) continue;
        const QJsonObject item = value.toObject();
        SpaceWeather::Flare flare;
        flare.begin = timeOf(item, "begin_time");
        flare.peak = timeOf(item, "max_time");
        flare.end = timeOf(item, "end_time");
        // While a flare is in progress its maximum is null; a maximum that is there but absurd says the
        // whole record is damaged, and its other classes would then misstate it.
        const QJsonValue maximum = item.value(QLatin1String("max_class"));
        flare.peakClass = unknown(maximum) ? classSoFar(item) : classOf(maximum);
        flare.satellite = satelliteOf(item);
        if (flare.peakClass.isEmpty() || !flare.when().isValid()) continue;
        if (flare.begin.isValid() && flare.peak.isValid() && flare.peak < flare.begin) continue;
        // Times out of order say the record is damaged; which of them is wrong cannot be told.
        if (flare.end.isValid() && flare.end < flare.when()) continue;
        found.push_back(flare);
    }
    std::stable_sort(
        found.begin(), found.end(),
        [](const SpaceWeather::Flare& a, const SpaceWeather::Flare& b) { return a.when() < b.when(); });
    return found;
}

std::optional<std::vector<SpaceWeather::Sample>> longSamples(const QByteArray& bytes,
                                                             const QDateTime& notAfter) {
    const std::optional<QJsonArray> items = array(bytes);
    if (!items) return std::nullopt;
    std::vector<SpaceWeather::Sample> all;
    for (const QJsonValue& value : *items) {
        if (!value.isObject()) continue;
        const QJsonObject item = value.toObject();
        if (item.value(QLatin1String("energy")).toString() != QLatin1String(longChannel)) continue;
        SpaceWeather::Sample sample{timeOf(item, "time_tag"), item.value(QLatin1String("flux")).toDouble(0),
                                    satelliteOf(item)};
        if (!sample.time.isValid() || SpaceWeather::classFromFlux(sample.flux).isEmpty()) continue;
        // One sample stamped ahead of the clock must not choose the primary: it goes before choosing.
        if (sample.time > notAfter) continue;
        all.push_back(sample);
    }
    // The primary is the satellite of the newest sample; the first listed wins a tie.
    const SpaceWeather::Sample* newest = nullptr;
    for (const SpaceWeather::Sample& sample : all)
        if (!newest || sample.time > newest->time) newest = &sample;
    if (!newest) return std::vector<SpaceWeather::Sample>();
    const int primary = newest->satellite;
    // One sample per minute: a repeated time keeps its first reading.
    std::map<QDateTime, SpaceWeather::Sample> byTime;
    for (const SpaceWeather::Sample& sample : all)
        if (sample.satellite == primary) byTime.emplace(sample.time, sample);
    std::vector<SpaceWeather::Sample> chosen;
    chosen.reserve(byTime.size());
    for (auto& [time, sample] : byTime)
        chosen.push_back(sample);
    return chosen;
}

} // namespace SwpcReader
