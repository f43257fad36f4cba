#pragma once
// Animated numbers of one view (layer opacities, a mask's progress), in the manner of layer animations:
// each property has a model value that is set at once and, optionally, one running animation that
// decides what is drawn until it ends. The animator asks its clock for ticks only while an animation
// runs; every tick it calls `changed` so the owner repaints.

#include "ViewClock.h"

#include <functional>
#include <map>

enum class Curve { linear, easeInEaseOut };

// The standard ease-in-ease-out timing curve (cubic Bézier 0.42, 0, 0.58, 1) at x in 0 ... 1.
double easeInEaseOut(double x);
double applyCurve(Curve curve, double x);

class Animator {
public:
    using Key = int;
    using Done = std::function<void()>;

    Animator(ViewClock& clock, std::function<void()> changed);
    ~Animator();

    // Sets the value with no animation; a running animation of the key is dropped (its done action runs,
    // as a removed animation completes).
    void set(Key key, double value);
    // Animates from what is drawn now to `to`. `delay` starts it later; until then the start value
    // stays on screen (the animation fills backwards). `done` runs when it ends or is replaced.
    void animate(Key key, double to, double seconds, Curve curve = Curve::linear, double delay = 0.0,
                 Done done = {});
    // The same with an explicit start value.
    void animate(Key key, double from, double to, double seconds, Curve curve, double delay, Done done);

    // What is drawn now, and where the key is going.
    double value(Key key) const;
    double target(Key key) const;
    bool animating(Key key) const { return running_.count(key) != 0; }
    bool animating() const { return !running_.empty(); }

    // Drops every animation without running done actions (the owner is stopping).
    void clear();
    // Advances: ends finished animations (running their done actions) and repaints.
    void tick();

private:
    struct Running {
        double from, to, begin, seconds;
        Curve curve;
        Done done;
    };
    void finish(Key key);
    void updateTicking();

    ViewClock& clock_;
    std::function<void()> changed_;
    std::map<Key, double> model_;
    std::map<Key, Running> running_;
};
