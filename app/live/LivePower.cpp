#include "LivePower.h"

#include "LivePolicy.h"
#include "Platform.h"
#include "Settings.h"

namespace {
std::shared_ptr<PowerSource>& current() {
    static std::shared_ptr<PowerSource> source;
    return source;
}
} // namespace

PowerSource& LivePower::source() {
    if (!current()) current() = Platform::powerSource();
    return *current();
}

void LivePower::useSource(std::shared_ptr<PowerSource> replacement) {
    current() = std::move(replacement);
}

bool LivePower::lowPower() {
    return source().lowPower();
}

bool LivePower::onBattery() {
    return source().onBattery();
}

bool LivePower::shouldPlay(bool occluded) {
    if (occluded) return false; // no need to ask the power services
    return LivePolicy::shouldPlay(occluded, lowPower(), onBattery(), Settings::pauseOnBattery());
}
