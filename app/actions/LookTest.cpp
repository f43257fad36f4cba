#include "CommandLine.h"
#include "Looks.h"

int Actions::lookTest() {
    bool failed = false;
    for (const QString& line : Looks::checkLines()) {
        printLine(stdout, line);
        failed = failed || line.startsWith(QLatin1String("FAIL"));
    }
    return failed ? 1 : 0;
}
