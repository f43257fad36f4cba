#include "CommandLine.h"
#include "SelfChecks.h"

int Actions::selfTest() {
    runSelfTest(); // ends the process with the run's status
}
