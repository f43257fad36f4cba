#pragma once
// The pure decisions of the live desktop: whether it runs at all, and whether one of its screens plays.

#include "Mode.h"

namespace LivePolicy {

// Exactly when the liveDesktop setting is on, the build's channel allows it and the mode is desktop.
inline bool runs(bool setting, bool channelAllows, Mode mode) {
    return setting && channelAllows && mode == Mode::desktop;
}

// False when the window is covered, in Low Power Mode, or on battery with pauseOnBattery on.
inline bool shouldPlay(bool occluded, bool lowPower, bool onBattery, bool pauseOnBattery) {
    return !occluded && !lowPower && !(onBattery && pauseOnBattery);
}

} // namespace LivePolicy

namespace Channel {
// Whether this build's distribution channel offers the live desktop.
inline constexpr bool allowsLiveDesktop = true;
} // namespace Channel
