#pragma once
// A program running beside a test (a virtual X server, a D-Bus mock, the app itself): tied to the test
// (see TiedChild.h), its standard output and error gathered line by line with the time each line arrived,
// so tests can wait for a line and measure how long something took. Killed and reaped when destroyed.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class RunningProgram {
public:
    using Clock = std::chrono::steady_clock;

    // Extra environment entries ("NAME=value") override the inherited ones; "NAME=" with nothing after
    // the sign removes NAME.
    RunningProgram(const QString& program, const QStringList& arguments,
                   const QStringList& extraEnvironment = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }
    // Everything printed so far (standard output and error together).
    QByteArray output() const;
    // When the first line holding `text` arrived, waiting up to `timeoutMs` for it; lines that
    // arrived before `after` are passed over.
    std::optional<Clock::time_point> waitFor(const QByteArray& text, int timeoutMs,
                                             Clock::time_point after = {}) const;
    int count(const QByteArray& text) const;
    void signal(int number) const;
    // The exit status once the program ends within `timeoutMs`; nothing if it is still running (or
    // was killed by a signal).
    std::optional<int> wait(int timeoutMs);
    bool running();

private:
    int pid_ = -1;
    int reader_ = -1;
    std::optional<int> status_;
    bool reaped_ = false;
    mutable std::mutex mutex_;
    std::vector<std::pair<Clock::time_point, QByteArray>> lines_;
    QByteArray partial_;
    std::thread thread_;
};

// Runs `check` every 50 ms until it holds or `timeoutMs` passes; gives the last result.
template <typename Check> bool pollUntil(Check check, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!check()) {
        if (std::chrono::steady_clock::now() > end) return check();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

inline double secondsBetween(RunningProgram::Clock::time_point from, RunningProgram::Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}
