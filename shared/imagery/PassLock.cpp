#include "PassLock.h"

#include "Cache.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::timed_mutex& gate() {
    static std::timed_mutex lock;
    return lock;
}

} // namespace

PassLock::PassLock(const QString& folder, Wait wait, std::chrono::seconds longest)
    : gate_(gate(), std::defer_lock) {
    const auto giveUp = std::chrono::steady_clock::now() + longest;
    const bool bounded = wait == Wait::yes && longest.count() > 0;
    if (bounded) {
        if (!gate_.try_lock_until(giveUp)) return;
    } else if (wait == Wait::yes) {
        gate_.lock();
    } else if (!gate_.try_lock()) {
        return;
    }
    // The lock file is never removed: removing it would let two processes lock two different files.
    const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + QLatin1String(fileName));
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        // A folder we cannot write to holds no pass of another process either: the passes there
        // cannot write anything, so the in-process lock is enough.
        held_ = true;
        return;
    }
    // Waiting polls, so a stop asked for by a signal ends the wait (a blocking flock would resume).
    int result;
    for (;;) {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
        if (result == 0 || (errno != EWOULDBLOCK && errno != EINTR) || wait == Wait::no) break;
        if (Cache::stopRequested() || (bounded && std::chrono::steady_clock::now() >= giveUp)) break;
        ::usleep(50000);
    }
    if (result != 0) {
        ::close(fd_);
        fd_ = -1;
        gate_.unlock();
        return;
    }
    held_ = true;
}

PassLock::~PassLock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}
