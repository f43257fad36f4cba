#pragma once
// The guard that makes refresh passes single-flight: a lock within the process (Cache.gate) and a lock
// file in the cache folder, so the app and a `--refresh` started by a timer never run two passes on one
// cache at once.

#include <QString>
#include <chrono>
#include <mutex>

class PassLock {
public:
    enum class Wait { no, yes };

    // Takes both locks, or with Wait::no gives up at once when either is held elsewhere. With Wait::yes
    // and a `longest` above zero, gives up when they are still held after that long.
    PassLock(const QString& folder, Wait wait, std::chrono::seconds longest = std::chrono::seconds(0));
    ~PassLock();
    PassLock(const PassLock&) = delete;
    PassLock& operator=(const PassLock&) = delete;

    bool held() const { return held_; }

    // The lock file's name inside the cache folder. Its leading dot keeps carry-over from copying it.
    static constexpr const char* fileName = ".pass.lock";

private:
    std::unique_lock<std::timed_mutex> gate_;
    int fd_ = -1;
    bool held_ = false;
};
