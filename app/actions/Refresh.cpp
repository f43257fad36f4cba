#include "CommandLine.h"

int Actions::refresh() {
    return notBuiltYet(QStringLiteral("--refresh"));
}
