#include "Animator.h"

#include <algorithm>
#include <cmath>

namespace {
double bezier(double a, double b, double t) {
    // One coordinate of a cubic Bézier from 0 to 1 with control values a and b.
    const double u = 1.0 - t;
    return 3.0 * u * u * t * a + 3.0 * u * t * t * b + t * t * t;
}
double bezierSlope(double a, double b, double t) {
    const double u = 1.0 - t;
    return 3.0 * u * u * a + 6.0 * u * t * (b - a) + 3.0 * t * t * (1.0 - b);
}
} // namespace

double easeInEaseOut(double x) {
    x = std::clamp(x, 0.0, 1.0);
    // Solve the x coordinate for t (Newton, then bisection if the slope is flat), then give y(t).
    double t = x;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(0.42, 0.58, t) - x;
        if (std::fabs(error) < 1e-7) return bezier(0.0, 1.0, t);
        const double slope = bezierSlope(0.42, 0.58, t);
        if (std::fabs(slope) < 1e-6) break;
        t = std::clamp(t - error / slope, 0.0, 1.0);
    }
    double low = 0.0, high = 1.0;
    t = x;
    for (int i = 0; i < 40; ++i) {
        const double value = bezier(0.42, 0.58, t);
        if (std::fabs(value - x) < 1e-7) break;
        (value < x ? low : high) = t;
        t = (low + high) / 2.0;
    }
    return bezier(0.0, 1.0, t);
}

double applyCurve(Curve curve, double x) {
    x = std::clamp(x, 0.0, 1.0);
    return curve == Curve::easeInEaseOut ? easeInEaseOut(x) : x;
}

Animator::Animator(ViewClock& clock, std::function<void()> changed)
    : clock_(clock), changed_(std::move(changed)) {}

Animator::~Animator() {
    clear();
}

void Animator::set(Key key, double value) {
    model_[key] = value;
    if (running_.count(key)) finish(key);
    updateTicking();
    if (changed_) changed_();
}

void Animator::animate(Key key, double to, double seconds, Curve curve, double delay, Done done) {
    animate(key, value(key), to, seconds, curve, delay, std::move(done));
}

void Animator::animate(Key key, double from, double to, double seconds, Curve curve, double delay,
                       Done done) {
    if (running_.count(key)) finish(key);
    model_[key] = to;
    if (!(seconds > 0.0) && !(delay > 0.0)) {
        if (done) done();
        if (changed_) changed_();
        return;
    }
    running_[key] = Running{
        from, to, clock_.now() + std::max(0.0, delay), std::max(0.0, seconds), curve, std::move(done)};
    updateTicking();
    if (changed_) changed_();
}

double Animator::value(Key key) const {
    if (auto found = running_.find(key); found != running_.end()) {
        const Running& r = found->second;
        const double now = clock_.now();
        if (now <= r.begin) return r.from;
        if (r.seconds <= 0.0 || now >= r.begin + r.seconds) return r.to;
        return r.from + (r.to - r.from) * applyCurve(r.curve, (now - r.begin) / r.seconds);
    }
    auto found = model_.find(key);
    return found == model_.end() ? 0.0 : found->second;
}

double Animator::target(Key key) const {
    auto found = model_.find(key);
    return found == model_.end() ? 0.0 : found->second;
}

void Animator::clear() {
    running_.clear();
    clock_.setTicking(false);
}

void Animator::finish(Key key) {
    auto found = running_.find(key);
    if (found == running_.end()) return;
    Done done = std::move(found->second.done);
    running_.erase(found);
    if (done) done();
}

void Animator::tick() {
    const double now = clock_.now();
    std::vector<Key> ended;
    for (const auto& [key, r] : running_)
        if (now >= r.begin + r.seconds) ended.push_back(key);
    for (Key key : ended)
        finish(key);
    updateTicking();
    if (changed_) changed_();
}

void Animator::updateTicking() {
    clock_.setTicking(!running_.empty());
}
