#include "CommandLine.h"
#include "Diagnostics.h"

int Actions::diagnose() {
    printLine(stdout, Diagnostics::report());
    return 0;
}
