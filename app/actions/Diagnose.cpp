#include "CommandLine.h"

int Actions::diagnose() {
    return notBuiltYet(QStringLiteral("--diagnose"));
}
