#include "Cache.h"
#include "CommandLine.h"
#include "Log.h"
#include "SourceStatus.h"
#include "StopSignals.h"

int Actions::refresh() {
    const StopSignals stopSignals;
    Cache::seedIfEmpty();
    const auto before = Cache::lastPass();
    Cache::refresh();
    // A pass that reached no source is a failure, whatever the cache still holds; a refresh that was
    // not due, or offline, ran no pass and is not.
    if (const auto failure = SourceStatus::unreached(before, Cache::lastPass())) {
        log(QStringLiteral("refresh failed: ") + *failure, LogArea::cache);
        return stopSignals.exitStatus(2);
    }
    return stopSignals.exitStatus(0);
}
