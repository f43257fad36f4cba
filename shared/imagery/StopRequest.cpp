// The stop a signal asks for, read by every wait and transfer of a pass. Apart from the pass itself, so
// that what only reads the cache (the diagnostics report, behind the pass lock) does not bring the
// pass, and with it the network library, into the program's light actions.

#include "Cache.h"

#include <atomic>

namespace {
// Set by a signal handler; lock-free, so the store is safe there.
std::atomic<bool> stopping{false};
static_assert(std::atomic<bool>::is_always_lock_free);
} // namespace

void Cache::requestStop() {
    stopping.store(true);
}

bool Cache::stopRequested() {
    return stopping.load();
}
