#include "PlayerClock.h"

#include <algorithm>
#include <chrono>

double SteadyClock::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void SteadyClock::waitUntil(double deadline, std::condition_variable& wake,
                            std::unique_lock<std::mutex>& lock) {
    using namespace std::chrono;
    const double left = deadline - now();
    if (left <= 0) return;
    // Waits are timed on the system clock in short slices: a clock step then costs at most one slice,
    // and the wait goes through pthread_cond_timedwait, which ThreadSanitizer understands (its steady
    // variant is invisible to this toolchain's sanitizer and yields false reports).
    const auto slice = std::min(duration<double>(left), duration<double>(0.02));
    wake.wait_until(lock, system_clock::now() + duration_cast<system_clock::duration>(slice));
}

void VirtualClock::waitUntil(double deadline, std::condition_variable&, std::unique_lock<std::mutex>&) {
    double current = now_.load();
    while (current < deadline && !now_.compare_exchange_weak(current, deadline)) {
    }
}

void VirtualClock::advance(double seconds) {
    double current = now_.load();
    while (!now_.compare_exchange_weak(current, current + seconds)) {
    }
}
