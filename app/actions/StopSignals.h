#pragma once
// SIGINT and SIGTERM during a command-line pass (--prime, --refresh): the first asks the pass to stop
// at a safe point (the file operation in hand finishes, the download in hand is abandoned and its
// temporary file removed) and the process then exits 128 + the signal; a second one ends it at once.

namespace Actions {

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // `status`, or 128 + the signal that arrived (130 for SIGINT, 143 for SIGTERM).
    int exitStatus(int status) const;
};

} // namespace Actions
