#include "CommandLine.h"

int Actions::prime() {
    return notBuiltYet(QStringLiteral("--prime"));
}
