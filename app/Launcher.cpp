// The program's entry point. The light command-line actions (help, version, --check-index of a file,
// --diagnose) run here, in a program that links only Qt Core and the non-graphical layers; everything
// else (the desktop application, the actions that decode, draw or use the network) lives in
// lib/solvane/solvane-app.so, loaded only when needed, so a check does not wait for the loader to bind
// FFmpeg, Qt Widgets and libcurl.

#include "CommandLine.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace {

// The loader's own status for a program that cannot start for want of a library.
constexpr int cannotLoad = 127;

// The folder of the program's bin/, where lib/ lies beside it in the build tree as in every install.
// /proc/self/exe sees through a link to the program (~/.local/bin/solvane). Its bytes are kept as they are:
// a folder name need not be valid UTF-8, and a round trip through QString would change it.
QByteArray programFolder() {
    char target[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target);
    if (length <= 0 || size_t(length) >= sizeof target) return {};
    const QByteArray program(target, length);
    return program.left(program.lastIndexOf('/'));
}

// The portable build carries its own GLib, which must not load the system's GIO modules: they are built
// for the system's newer GLib. It carries the one it needs (dconf, for GNOME's settings) in lib/gio/modules.
void useCarriedGioModules(const QByteArray& bin) {
    const QByteArray modules = bin + "/../lib/gio/modules";
    if (::access(modules.constData(), F_OK) == 0) ::setenv("GIO_MODULE_DIR", modules.constData(), 1);
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto status = CommandLine::parse(arguments).runLightAction()) return *status;

    const QByteArray bin = programFolder();
    if (bin.isEmpty()) {
        std::fprintf(stderr,
                     "solvane: cannot load the application: the program cannot find its own folder\n");
        return cannotLoad;
    }
    const QByteArray path = bin + "/../lib/solvane/solvane-app.so";
    useCarriedGioModules(bin);
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
