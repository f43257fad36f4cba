// Installs one update tarball into a per-user install, as its own process, so a test can kill the swap
// at any moment: install-child <root> <tarball> <version>.
#include "UserInstall.h"

#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    QFile tarball(QString::fromLocal8Bit(argv[2]));
    if (!tarball.open(QIODevice::ReadOnly)) return 2;
    if (const auto problem = UserInstall(QString::fromLocal8Bit(argv[1]))
                                 .install(tarball.readAll(), QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "%s\n", problem->toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
