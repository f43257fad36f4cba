#include "Cache.h"
#include "CommandLine.h"
#include "StopSignals.h"

int Actions::refresh() {
    const StopSignals stopSignals;
    Cache::seedIfEmpty();
    Cache::refresh();
    return stopSignals.exitStatus(0);
}
