#include "CommandLine.h"

int Actions::exportFrame(const QString&, const QString&) {
    return notBuiltYet(QStringLiteral("--export-frame"));
}
