#pragma once
// Follows NASA as it publishes: starts a light pass (FollowPass) on the 20-minute slot boundaries plus
// NASA's latency (or every SOLVANE_FOLLOW_SECONDS), while the conditions of Follow::whyNot hold, for the
// products the screens show. Each pass runs on a thread of its own; the clip maker lowers its own
// priority (nice +10) there, so re-making a clip never competes with a wall that plays. The scheduled
// full pass keeps its own timer and cadence.
//
// GUI thread only; `followed` is emitted there after each pass.

#include "Follow.h"
#include "FollowPass.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class Follower : public QObject {
    Q_OBJECT
public:
    struct Environment {
        // A wall, the saver, a kiosk, the live desktop or the mini player shows the Sun now.
        std::function<bool()> sunShown;
        // The network is metered now.
        std::function<bool()> metered;
        // One light pass, on the pass's own thread; FollowPass::run when empty.
        std::function<FollowPass::Outcome(const QSet<QString>& products, const QDateTime& now)> pass;
    };

    explicit Follower(Environment environment, QObject* parent = nullptr);
    ~Follower() override;

    // Schedules the first light pass (launch); stop cancels the next one (a running pass finishes).
    void start();
    void stop();
    bool busy() const { return busy_->load(); }
    // When the next light pass is due; invalid when stopped.
    QDateTime next() const { return next_; }

    // The conditions now, from the settings and the environment.
    Follow::Conditions conditions() const;
    // The products a light pass follows: those the screens show (every product when a screen shows all).
    static QSet<QString> shownProducts();

signals:
    // After a light pass, on the GUI thread.
    void followed(const FollowPass::Outcome& outcome);

private:
    void due();
    void schedule();

    Environment env_;
    QTimer timer_;
    QDateTime next_;
    std::optional<QString> lastWhyNot_;
    bool logged_ = false;
    // Shared with the pass's thread, which may outlive this object at exit.
    std::shared_ptr<std::atomic<bool>> busy_ = std::make_shared<std::atomic<bool>>(false);
};
