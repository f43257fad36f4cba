#pragma once
// Time for one wall view: a monotonic "now", one-shot work items and display-rate ticks for animations.
// Everything runs on the GUI thread. Tests hand a view a ManualClock and advance it by hand, so the
// caption, card, scrub and retry timers and every animation can be checked without waiting.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>

class ViewClock {
public:
    using Work = std::function<void()>;
    using WorkID = quint64;

    virtual ~ViewClock() = default;

    // Seconds since an arbitrary origin; never goes back.
    virtual double now() const = 0;
    // Runs `work` once after `seconds` on the GUI thread; cancel(id) drops it if it has not run. Ids are
    // never 0, so 0 can stand for "nothing pending".
    virtual WorkID after(double seconds, Work work) = 0;
    virtual void cancel(WorkID id) = 0;
    // While on, `tick` is called at the display's refresh rate. The owner turns it off as soon as nothing
    // animates, so a still wall costs no redraws.
    virtual void setTicking(bool on) = 0;
    virtual bool ticking() const = 0;
    void onTick(Work tick) { tick_ = std::move(tick); }

protected:
    Work tick_;
};

// The real clock: QElapsedTimer for now, single-shot QTimers for work, a QTimer at the refresh rate.
class SystemClock final : public QObject, public ViewClock {
public:
    explicit SystemClock(double refreshHz = 60.0);
    ~SystemClock() override;

    double now() const override;
    WorkID after(double seconds, Work work) override;
    void cancel(WorkID id) override;
    void setTicking(bool on) override;
    bool ticking() const override { return frames_.isActive(); }
    void setRefreshRate(double hz);

private:
    QElapsedTimer elapsed_;
    QTimer frames_;
    WorkID nextID_ = 1;
    std::map<WorkID, QTimer*> pending_;
};

// A clock that moves only when told: advance() runs due work in time order and ticks along the way.
class ManualClock final : public ViewClock {
public:
    double now() const override { return now_; }
    WorkID after(double seconds, Work work) override;
    void cancel(WorkID id) override { pending_.erase(id); }
    void setTicking(bool on) override { ticking_ = on; }
    bool ticking() const override { return ticking_; }

    // Moves time forward by `seconds`, in steps of at most 1/60 s while ticking.
    void advance(double seconds);
    int pendingCount() const { return static_cast<int>(pending_.size()); }

private:
    struct Item {
        double due;
        Work work;
    };
    double now_ = 1000.0;
    bool ticking_ = false;
    WorkID nextID_ = 1;
    std::map<WorkID, Item> pending_;
};
