#include "CommandLine.h"

void Actions::printLine(FILE* stream, const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int Actions::notBuiltYet(const QString& what) {
    printLine(stderr,
              QStringLiteral("solvane: ") + what + QStringLiteral(" is not available in this build yet"));
    return 2;
}
