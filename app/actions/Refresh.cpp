#include "Cache.h"
#include "CommandLine.h"
#include "Log.h"
#include "PassStatus.h"
#include "StopSignals.h"

int Actions::refresh() {
    const StopSignals stopSignals;
    Cache::seedIfEmpty();
    const PassStatus status;
    // While the application runs a pass, the answer is that pass's, once it is over.
    if (!Cache::refresh()) {
        log(QStringLiteral("refresh: waiting for it to finish (at most %1 minutes)")
                .arg(longestWait.count() / 60),
            LogArea::cache);
        if (!Cache::waitForRunningPass(longestWait)) {
            if (!Cache::stopRequested())
                log(QStringLiteral("refresh failed: a refresh is already running"), LogArea::cache);
            return stopSignals.exitStatus(4);
        }
    }
    // A pass that reached no source is a failure, whatever the cache still holds; a refresh that was
    // not due, or offline, ran no pass and is judged by the clips on disk.
    return stopSignals.exitStatus(status.after(QStringLiteral("refresh")));
}
