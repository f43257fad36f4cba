#pragma once
// The power state as the live desktop and the mini player read it: one process-wide power reader
// (Platform::powerSource, made on first use), whose `changed` signal tells when to ask again.
//
// For a player of your own (the mini player): connect LivePower::source().changed and your window's
// occlusion watcher (Platform::windowOcclusion) to a slot that calls
// `wall->setPaused(!LivePower::shouldPlay(occlusion->occluded()))`, and call it once at the start.
// GUI thread only.

#include "PowerSource.h"

#include <memory>

namespace LivePower {

// The process-wide power reader.
PowerSource& source();
// Replaces it (tests, benchmarks). Connections made to the old one are not moved.
void useSource(std::shared_ptr<PowerSource> source);

bool lowPower();
bool onBattery();
// LivePolicy::shouldPlay with this power state and the pauseOnBattery setting.
bool shouldPlay(bool occluded);

} // namespace LivePower
