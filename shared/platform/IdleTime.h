#pragma once
// The port to the session's idle time: seconds since the last input anywhere in the desktop session (not
// only in our windows). The factory (Platform::idleTime) picks the first source that answers at start.
//
// Called from the GUI thread only (the controller's 0.25 s tick).

#include <QString>
#include <optional>

class IdleTime {
public:
    virtual ~IdleTime() = default;

    // Seconds since the last input event of any kind, or nothing when the source cannot tell now.
    virtual std::optional<double> secondsIdle() = 0;
    // What the source is, for the log ("org.gnome.Mutter.IdleMonitor", ...).
    virtual QString name() const = 0;
};

// No source: the caller falls back on the input its own windows see.
class NoIdleTime : public IdleTime {
public:
    std::optional<double> secondsIdle() override { return std::nullopt; }
    QString name() const override { return QStringLiteral("nothing"); }
};

// A fixed or settable answer, for tests.
class FixedIdleTime : public IdleTime {
public:
    explicit FixedIdleTime(std::optional<double> seconds = 0) : seconds(seconds) {}
    std::optional<double> secondsIdle() override { return seconds; }
    QString name() const override { return QStringLiteral("a fixed value"); }
    std::optional<double> seconds;
};
