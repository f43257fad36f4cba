#include "CommandLine.h"

int Actions::selfTest() {
    return notBuiltYet(QStringLiteral("--selftest"));
}
