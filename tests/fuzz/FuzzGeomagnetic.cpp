// The readers of NOAA SWPC's geomagnetic and solar wind products on any bytes: whatever they keep is
// a value an instrument could give, with a time, in time order, and survives the file's own reader;
// never a crash.
#include "FuzzSupport.h"
#include "GeomagneticReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::quietLog();
    const QByteArray input = Fuzz::bytes(data, size);
    Geomagnetic::Record record;
    for (const auto& read : {GeomagneticReader::kpIntervals(input), GeomagneticReader::kpEstimates(input)}) {
        if (!read) continue;
        for (size_t i = 0; i < read->size(); ++i) {
            const Geomagnetic::Reading& reading = (*read)[i];
            Fuzz::require(reading.time.isValid() && Geomagnetic::kpInRange(reading.value));
            Fuzz::require(i == 0 || (*read)[i - 1].time < reading.time);
        }
        record.kp = *read;
    }
    if (const auto scales = GeomagneticReader::scales(input)) {
        Fuzz::require(scales->time.isValid());
        for (const auto& level : {scales->r, scales->s, scales->g})
            Fuzz::require(!level || (*level >= 0 && *level <= 5));
        record.scales = scales;
    }
    if (const auto wind = GeomagneticReader::solarWind(input)) {
        for (const Geomagnetic::SolarWind& reading : *wind) {
            Fuzz::require(reading.time.isValid() && (reading.speed || reading.density || reading.bz));
            Fuzz::require(!reading.speed || Geomagnetic::speedInRange(*reading.speed));
            Fuzz::require(!reading.density || Geomagnetic::densityInRange(*reading.density));
            Fuzz::require(!reading.bz || Geomagnetic::bzInRange(*reading.bz));
        }
        if (!wind->empty()) record.wind = wind->back();
    }
    // What the readers keep survives the space-weather file.
    Fuzz::require(Geomagnetic::fromJson(Geomagnetic::toJson(record)) == record);
    Geomagnetic::storms(record, QDateTime::currentDateTimeUtc());
    return 0;
}
