// The readers of NOAA SWPC's X-ray files on any bytes: whatever they keep is believable (a readable
// class, a time, one satellite for the samples, in time order), and never a crash.
#include "FuzzSupport.h"
#include "SwpcReader.h"

#include <QTimeZone>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::quietLog();
    const QByteArray input = Fuzz::bytes(data, size);
    if (const auto flares = SwpcReader::flares(input)) {
        QDateTime previous;
        for (const SpaceWeather::Flare& flare : *flares) {
            Fuzz::require(SpaceWeather::fluxFromClass(flare.peakClass).has_value());
            Fuzz::require(SpaceWeather::classFromFlux(*SpaceWeather::fluxFromClass(flare.peakClass)) ==
                          flare.peakClass);
            Fuzz::require(flare.when().isValid() && (!previous.isValid() || previous <= flare.when()));
            previous = flare.when();
        }
        // What the reader keeps survives the cache file's own reader.
        SpaceWeather::Record record;
        record.flares = *flares;
        const auto back = SpaceWeather::decode(SpaceWeather::encode(record));
        Fuzz::require(back && back->flares.size() == flares->size());
    }
    if (const auto samples =
            SwpcReader::longSamples(input, QDateTime(QDate(2100, 1, 1), QTime(0, 0), QTimeZone::utc()))) {
        for (size_t i = 0; i < samples->size(); ++i) {
            const SpaceWeather::Sample& sample = (*samples)[i];
            Fuzz::require(!SpaceWeather::classFromFlux(sample.flux).isEmpty() && sample.time.isValid());
            Fuzz::require(sample.satellite == samples->front().satellite);
            Fuzz::require(i == 0 || (*samples)[i - 1].time < sample.time);
        }
    }
    return 0;
}
