#include "SolarTime.h"

#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

double SolarTime::roundHalfAway(double value) {
    return std::round(value); // std::round already rounds halves away from zero
}

std::optional<int> SolarTime::slotCount(double durationSeconds, double framesPerSecond) {
    if (!std::isfinite(durationSeconds) || durationSeconds < 0 || !(framesPerSecond > 0)) return std::nullopt;
    const double count = roundHalfAway(durationSeconds * framesPerSecond);
    // Guard the conversion: a huge duration would overflow an int.
    if (count < 1 || count > 1e9) return std::nullopt;
    return static_cast<int>(count);
}

int SolarTime::slot(double atSeconds, int slotCount, double framesPerSecond) {
    if (!std::isfinite(atSeconds) || slotCount < 1) return 0;
    const double raw = std::floor(atSeconds * framesPerSecond);
    if (!std::isfinite(raw) || raw < 0) return 0;
    if (raw > slotCount - 1) return slotCount - 1;
    return static_cast<int>(raw);
}

std::optional<QDateTime> SolarTime::frameTime(const QDateTime& end, int slot, int slotCount,
                                              double cadenceSeconds) {
    if (slotCount < 1 || slot < 0 || slot >= slotCount || !end.isValid()) return std::nullopt;
    const double back = cadenceSeconds * double(slotCount - 1 - slot);
    return end.addMSecs(-static_cast<qint64>(roundHalfAway(back * 1000.0)));
}

std::optional<QDateTime> SolarTime::shownTime(const QDateTime& end, int slot, int slotCount,
                                              std::optional<int> frameCount, double cadenceSeconds) {
    if (frameCount == 1 && slot >= 0 && slot < slotCount)
        return frameTime(end, slotCount - 1, slotCount, cadenceSeconds);
    return frameTime(end, slot, slotCount, cadenceSeconds);
}

std::optional<double> SolarTime::seekSeconds(int slot, int slotCount, double framesPerSecond) {
    if (slot < 0 || slot >= slotCount || !(framesPerSecond > 0)) return std::nullopt;
    return (slot + 0.5) / framesPerSecond;
}

std::optional<int> SolarTime::sameInstant(const QDateTime& date, const QDateTime& end, int slotCount,
                                          double cadenceSeconds) {
    if (slotCount < 1 || !(cadenceSeconds > 0) || !date.isValid() || !end.isValid()) return std::nullopt;
    const double apart = double(date.msecsTo(end)) / 1000.0;
    const double steps = roundHalfAway(apart / cadenceSeconds);
    const double result = double(slotCount - 1) - steps;
    if (result < 0 || result > slotCount - 1) return std::nullopt;
    return static_cast<int>(result);
}

bool SolarTime::trusted(std::optional<int> frameCount, int slotCount) {
    if (slotCount < 1) return false;
    return !frameCount || *frameCount <= slotCount;
}

double SolarTime::progress(int slot, int slotCount) {
    if (slotCount < 2) return 1.0;
    const double fraction = double(slot) / double(slotCount - 1);
    return std::clamp(fraction, 0.0, 1.0);
}

QString SolarTime::clock(const QDateTime& date) {
    static const QLocale posix(QLocale::C);
    const QDateTime utc = date.toTimeZone(QTimeZone::utc());
    return posix.toString(utc, QStringLiteral("MMM d  HH:mm 'UTC'")).toUpper();
}
