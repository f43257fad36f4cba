// The entry point: one command-line action and exit, or the desktop application.

#include "CommandLine.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(arguments);
    if (const auto status = commandLine.runAction()) return *status;

    std::fputs("solvane: the desktop application is not available in this build yet\n", stderr);
    return 2;
}
