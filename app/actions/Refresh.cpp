#include "Cache.h"
#include "CommandLine.h"

int Actions::refresh() {
    Cache::seedIfEmpty();
    Cache::refresh();
    return 0;
}
