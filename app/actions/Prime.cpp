#include "Cache.h"
#include "CommandLine.h"
#include "PassStatus.h"
#include "StopSignals.h"

#include <unistd.h>

int Actions::prime() {
    const StopSignals stopSignals;
    Cache::seedIfEmpty();
    // A person watching a terminal sees how far the download is; scripts and timers get the log only.
    Cache::Progress progress;
    if (::isatty(STDERR_FILENO)) {
        progress = [](int done, int total) {
            std::fprintf(stderr, "\rsolvane: priming the cache, %d of %d products", done, total);
            if (done >= total) std::fputc('\n', stderr);
            std::fflush(stderr);
        };
    }
    const PassStatus status;
    // Some products failing is still a prime; no source answering at all is not.
    Cache::pass(true, true, true, progress);
    return stopSignals.exitStatus(status.after(QStringLiteral("prime")));
}
