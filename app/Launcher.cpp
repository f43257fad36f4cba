// The program's entry point. The light command-line actions (help, version, --check-index,
// --diagnose) run here, in a program that links only Qt Core and the non-graphical layers; everything
// else (the desktop application, the actions that decode or draw) lives in lib/solvane/solvane-app.so,
// loaded only when needed, so a check does not wait for the loader to bind FFmpeg and Qt Widgets.

#include "CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <dlfcn.h>

namespace {

// The loader's own status for a program that cannot start for want of a library.
constexpr int cannotLoad = 127;

// The application's part sits in lib/solvane beside the program's bin/, in the build tree as in every
// install. /proc/self/exe sees through a link to the program (~/.local/bin/solvane).
QByteArray applicationPath() {
    const QString bin = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    return QFile::encodeName(QDir::cleanPath(bin + QStringLiteral("/../lib/solvane/solvane-app.so")));
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto status = CommandLine::parse(arguments).runLightAction()) return *status;

    const QByteArray path = applicationPath();
    void* application = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!application) {
        std::fprintf(stderr, "solvane: cannot load the application: %s\n", dlerror());
        return cannotLoad;
    }
    using Entry = int (*)(int, char**);
    const auto entry = reinterpret_cast<Entry>(dlsym(application, "solvaneApplicationMain"));
    if (!entry) {
        std::fprintf(stderr, "solvane: cannot load the application: %s has no entry point\n",
                     path.constData());
        return cannotLoad;
    }
    return entry(argc, argv);
}
