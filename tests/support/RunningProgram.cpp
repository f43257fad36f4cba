#include "RunningProgram.h"

#include "TestSupport.h"
#include "TiedChild.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

RunningProgram::RunningProgram(const QString& program, const QStringList& arguments,
                               const QStringList& extraEnvironment) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    std::map<QByteArray, QByteArray> variables;
    for (char** entry = environ; *entry; ++entry) {
        const QByteArray line(*entry);
        variables[line.left(line.indexOf('='))] = line;
    }
    for (const QString& item : extraEnvironment) {
        const QByteArray line = item.toLocal8Bit();
        const QByteArray name = line.left(line.indexOf('='));
        if (line.endsWith('=') && line.size() == name.size() + 1)
            variables.erase(name);
        else
            variables[name] = line;
    }
    CStrings argv(QStringList{program} + arguments);
    std::vector<QByteArray> lines;
    for (auto& [name, line] : variables)
        lines.push_back(line);
    CStrings envp(std::move(lines));

    // Its own process group, so a kill reaches what it starts too.
    const pid_t child = spawnTied(argv.data(), envp.data(), {fds[1], fds[1]}, true);
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        return;
    }
    pid_ = child;
    reader_ = fds[0];
    thread_ = std::thread([this] {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(reader_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            const auto now = Clock::now();
            std::lock_guard<std::mutex> hold(mutex_);
            partial_.append(buffer, got);
            qsizetype end;
            while ((end = partial_.indexOf('\n')) >= 0) {
                lines_.emplace_back(now, partial_.left(end + 1));
                partial_.remove(0, end + 1);
            }
        }
    });
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0 && !reaped_) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        wait(10000);
    }
    if (thread_.joinable()) thread_.join();
    if (reader_ >= 0) ::close(reader_);
}

QByteArray RunningProgram::output() const {
    std::lock_guard<std::mutex> hold(mutex_);
    QByteArray all;
    for (const auto& [when, line] : lines_)
        all += line;
    return all + partial_;
}

std::optional<RunningProgram::Clock::time_point>
RunningProgram::waitFor(const QByteArray& text, int timeoutMs, Clock::time_point after) const {
    std::optional<Clock::time_point> found;
    pollUntil(
        [&] {
            std::lock_guard<std::mutex> hold(mutex_);
            for (const auto& [when, line] : lines_)
                if (when >= after && line.contains(text)) {
                    found = when;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

int RunningProgram::count(const QByteArray& text) const {
    std::lock_guard<std::mutex> hold(mutex_);
    int n = 0;
    for (const auto& [when, line] : lines_)
        n += line.contains(text) ? 1 : 0;
    return n;
}

void RunningProgram::signal(int number) const {
    if (pid_ > 0 && !reaped_) ::kill(pid_, number);
}

std::optional<int> RunningProgram::wait(int timeoutMs) {
    if (pid_ <= 0) return std::nullopt;
    pollUntil(
        [&] {
            if (reaped_) return true;
            int status = 0;
            const pid_t got = ::waitpid(pid_, &status, WNOHANG);
            if (got != pid_) return false;
            reaped_ = true;
            if (WIFEXITED(status)) status_ = WEXITSTATUS(status);
            return true;
        },
        timeoutMs);
    return status_;
}

bool RunningProgram::running() {
    return pid_ > 0 && !wait(0) && !reaped_;
}
