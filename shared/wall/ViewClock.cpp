#include "ViewClock.h"

#include <algorithm>
#include <cmath>

SystemClock::SystemClock(double refreshHz) {
    elapsed_.start();
    frames_.setTimerType(Qt::PreciseTimer);
    setRefreshRate(refreshHz);
    QObject::connect(&frames_, &QTimer::timeout, this, [this] {
        if (tick_) tick_();
    });
}

// The timers are the clock's children: one cancelled or run is deleted later, and a later that never comes
// (the event loop has ended) still ends with the clock.
SystemClock::~SystemClock() = default;

double SystemClock::now() const {
    return static_cast<double>(elapsed_.nsecsElapsed()) / 1e9;
}

ViewClock::WorkID SystemClock::after(double seconds, Work work) {
    const WorkID id = nextID_++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, this, [this, id, work = std::move(work)] {
        // Take the item out first: the work may schedule or cancel others.
        auto found = pending_.find(id);
        if (found == pending_.end()) return;
        found->second->deleteLater();
        pending_.erase(found);
        work();
    });
    pending_[id] = timer;
    timer->start(std::max(0, static_cast<int>(std::lround(seconds * 1000.0))));
    return id;
}

void SystemClock::cancel(WorkID id) {
    auto found = pending_.find(id);
    if (found == pending_.end()) return;
    found->second->stop();
    found->second->deleteLater();
    pending_.erase(found);
}

void SystemClock::setTicking(bool on) {
    if (on == frames_.isActive()) return;
    if (on)
        frames_.start();
    else
        frames_.stop();
}

void SystemClock::setRefreshRate(double hz) {
    if (!(hz > 1.0)) hz = 60.0;
    frames_.setInterval(std::max(1, static_cast<int>(std::lround(1000.0 / hz))));
}

ViewClock::WorkID ManualClock::after(double seconds, Work work) {
    const WorkID id = nextID_++;
    pending_[id] = Item{now_ + std::max(0.0, seconds), std::move(work)};
    return id;
}

void ManualClock::advance(double seconds) {
    const double end = now_ + std::max(0.0, seconds);
    const double frame = 1.0 / 60.0;
    for (;;) {
        // The earliest due item (ties in the order they were scheduled).
        auto next = pending_.end();
        for (auto it = pending_.begin(); it != pending_.end(); ++it)
            if (next == pending_.end() || it->second.due < next->second.due) next = it;
        double stop = end;
        if (next != pending_.end() && next->second.due <= end) stop = next->second.due;
        while (ticking_ && now_ + frame < stop) {
            now_ += frame;
            if (tick_) tick_();
        }
        now_ = std::max(now_, stop);
        if (ticking_ && tick_) tick_();
        if (next == pending_.end() || next->second.due > end) break;
        Work work = std::move(next->second.work);
        pending_.erase(next);
        work();
    }
}
