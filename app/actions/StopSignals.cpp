#include "StopSignals.h"

#include "Cache.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<int> received{0};
struct sigaction previousInterrupt {};
struct sigaction previousTerminate {};

void onSignal(int number) {
    // Only lock-free atomic stores here: both are safe in a signal handler.
    received.store(number);
    Cache::requestStop();
}

} // namespace

Actions::StopSignals::StopSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls resume (the pass notices the stop itself), and the handler gives way to
    // the default after the first signal, so a second one ends the process at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
}

Actions::StopSignals::~StopSignals() {
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
}

int Actions::StopSignals::exitStatus(int status) const {
    const int number = received.load();
    return number ? 128 + number : status;
}
