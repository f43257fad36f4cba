#include "TiedChild.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

void endWithParent(pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // The parent may have gone between fork and prctl; then no signal comes.
    if (::getppid() != parent) ::_exit(127);
}

namespace {

// dup2 that also clears close-on-exec when the descriptor already has the wanted number.
bool place(int from, int to) {
    if (from != to) return ::dup2(from, to) == to;
    return ::fcntl(to, F_SETFD, 0) == 0;
}

} // namespace

pid_t spawnTied(char** argv, char** envp, const ChildStreams& streams, bool ownGroup) {
    // exec's failure comes back through this pipe; a successful exec closes it with nothing written.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return -1;
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here to exec.
        endWithParent(parent);
        if (ownGroup) ::setpgid(0, 0);
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        const int output = streams.output >= 0 ? streams.output : null;
        const int error = streams.error >= 0 ? streams.error : output;
        bool ok = null >= 0 && place(null, 0) && place(output, 1) && place(error, 2);
        if (ok && streams.extra >= 0) ok = place(streams.extra, streams.extraAs);
        if (ok) ::execvpe(argv[0], argv, envp);
        const int failure = errno;
        [[maybe_unused]] const ssize_t written = ::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        return -1;
    }
    int failure = 0;
    ssize_t got;
    while ((got = ::read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got > 0) {
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        return -1;
    }
    return child;
}
