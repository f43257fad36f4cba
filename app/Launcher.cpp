// The program's entry point. The light command-line actions (help, version, --check-index of a file,
// --diagnose) run here, in a program that links only Qt Core and the non-graphical layers; everything
// else (the desktop application, the actions that decode, draw or use the network) lives in
// lib/solvane/solvane-app.so, loaded only when needed, so a check does not wait for the loader to bind
// FFmpeg, Qt Widgets and libcurl.

#include "CommandLine.h"

#include <climits>
#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>

namespace {

// The loader's own status for a program that cannot start for want of a library.
constexpr int cannotLoad = 127;

// The application's part sits in lib/solvane beside the program's bin/, in the build tree as in every
// install. /proc/self/exe sees through a link to the program (~/.local/bin/solvane). Its bytes are kept
// as they are: a folder name need not be valid UTF-8, and a round trip through QString would change it.
QByteArray applicationPath() {
    char target[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target);
    if (length <= 0 || size_t(length) >= sizeof target) return {};
    const QByteArray program(target, length);
    return program.left(program.lastIndexOf('/')) + "/../lib/solvane/solvane-app.so";
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto status = CommandLine::parse(arguments).runLightAction()) return *status;

    const QByteArray path = applicationPath();
    if (path.isEmpty()) {
        std::fprintf(stderr,
                     "solvane: cannot load the application: the program cannot find its own folder\n");
        return cannotLoad;
    }
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
