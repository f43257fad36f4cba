#pragma once
// How long a refresh pass may keep talking to a source: a wall-clock budget from the pass's start. The
// pass hands it to its transfers, which end when it runs out; what arrived before stays. A source may
// set the budget once it knows how much there is to fetch. Used on the pass's thread only.

#include <chrono>

class PassDeadline {
public:
    using Clock = std::chrono::steady_clock;

    // A deadline `budget` after now.
    explicit PassDeadline(std::chrono::seconds budget) : start_(Clock::now()), budget_(budget) {}

    // Replaces the budget, still counted from the start.
    void setBudget(std::chrono::seconds budget) { budget_ = budget; }
    std::chrono::seconds budget() const { return budget_; }

    bool expired() const { return Clock::now() >= start_ + budget_; }
    // What is left, never below zero.
    std::chrono::milliseconds left() const {
        const auto rest =
            std::chrono::duration_cast<std::chrono::milliseconds>(start_ + budget_ - Clock::now());
        return rest.count() > 0 ? rest : std::chrono::milliseconds(0);
    }
    std::chrono::seconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start_);
    }

private:
    Clock::time_point start_;
    std::chrono::seconds budget_;
};
