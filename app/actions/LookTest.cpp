#include "CommandLine.h"

int Actions::lookTest() {
    return notBuiltYet(QStringLiteral("--look-test"));
}
