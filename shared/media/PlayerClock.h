#pragma once
// The time a player presents frames by. The steady clock waits for real; the virtual clock jumps to each
// deadline at once, so tests and benchmarks see exact presentation times without waiting for them.

#include <atomic>
#include <condition_variable>
#include <mutex>

class PlayerClock {
public:
    virtual ~PlayerClock() = default;
    // Seconds on this clock; only differences matter.
    virtual double now() const = 0;
    // Called by the decode thread holding `lock`: returns when now() has reached `deadline` or when `wake`
    // is notified, whichever comes first. The caller re-checks its state afterwards.
    virtual void waitUntil(double deadline, std::condition_variable& wake,
                           std::unique_lock<std::mutex>& lock) = 0;
};

class SteadyClock : public PlayerClock {
public:
    double now() const override;
    void waitUntil(double deadline, std::condition_variable& wake,
                   std::unique_lock<std::mutex>& lock) override;
};

class VirtualClock : public PlayerClock {
public:
    explicit VirtualClock(double start = 0) : now_(start) {}
    double now() const override { return now_.load(); }
    void waitUntil(double deadline, std::condition_variable& wake,
                   std::unique_lock<std::mutex>& lock) override;
    void advance(double seconds);

private:
    std::atomic<double> now_;
};
