#pragma once
// Programs a test starts beside it (servers, displays, buses, compositors) end with the test. Each gets
// SIGTERM when the thread that started it goes, a test that crashed or was stopped by a sanitizer
// included; an orphan would keep running and, while it holds ctest's output pipe, keep ctest waiting
// for the test's time-out. Start such programs from the test's main thread: the signal follows the
// starting thread, not the process.

#include <sys/types.h>

// In a child between fork and exec (async-signal-safe): asks for SIGTERM when `parent` goes, and ends
// the child at once when the parent went before the request took hold.
void endWithParent(pid_t parent);

// Where a tied child's standard streams go: descriptors of the parent's (standard input is /dev/null).
struct ChildStreams {
    int output = -1; // standard output; /dev/null when -1
    int error = -1;  // standard error; the same as standard output when -1
    int extra = -1;  // one more descriptor the child keeps, as number `extraAs`
    int extraAs = -1;
};

// Starts `argv[0]` (looked up on PATH) with `envp`, tied to this thread as above; `ownGroup` puts it in a
// process group of its own. Its pid, or -1 when it could not be started (exec's failure included).
pid_t spawnTied(char** argv, char** envp, const ChildStreams& streams, bool ownGroup = false);
