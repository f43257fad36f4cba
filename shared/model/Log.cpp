#include "Log.h"

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <mutex>
#include <syslog.h>
#include <unistd.h>

namespace {

std::atomic<int> standardError{STDERR_FILENO};
std::mutex writeLock;

// sd_journal_send, from libsystemd loaded at the first line logged where journald runs: a command that
// logs nothing (--version, --help) then never loads it and what it pulls in. Null without journald.
using JournalSend = int (*)(const char* format, ...);
JournalSend journal() {
    static const JournalSend send = []() -> JournalSend {
        if (access("/run/systemd/journal/socket", W_OK) != 0) return nullptr;
        void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        return library ? reinterpret_cast<JournalSend>(dlsym(library, "sd_journal_send")) : nullptr;
    }();
    return send;
}

void writeWhole(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR) continue;
            return; // nowhere to report a broken standard error
        }
        data += written;
        left -= written;
    }
}

} // namespace

const char* Log::rawValue(LogArea area) {
    switch (area) {
    case LogArea::app:
        return "app";
    case LogArea::cache:
        return "cache";
    case LogArea::desktop:
        return "desktop";
    case LogArea::update:
        return "update";
    case LogArea::saver:
        return "saver";
    case LogArea::store:
        return "store";
    }
    return "app";
}

int Log::redirectStandardError(int fd) {
    return standardError.exchange(fd);
}

void log(const QString& message, LogArea area) {
    const QByteArray utf8 = message.toUtf8();
    {
        // One write per line under a lock, so lines from many threads never interleave.
        const QByteArray line = "solvane: " + utf8 + '\n';
        std::lock_guard guard(writeLock);
        writeWhole(standardError.load(), line);
    }
    if (const JournalSend send = journal()) {
        send("MESSAGE=%s", utf8.constData(), "PRIORITY=%i", LOG_NOTICE, "SYSLOG_IDENTIFIER=solvane",
             "SOLVANE_SUBSYSTEM=%s", Log::subsystem, "SOLVANE_CATEGORY=%s", Log::rawValue(area), nullptr);
    }
}
