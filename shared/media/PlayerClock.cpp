#include "PlayerClock.h"

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
    wake.wait_for(lock, duration<double>(left));
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
