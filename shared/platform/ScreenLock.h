#pragma once
// The port that locks the session when a dismissed saver asks for it ("Lock the screen when dismissed").
// GUI thread only.

#include <QString>
#include <vector>

class ScreenLock {
public:
    virtual ~ScreenLock() = default;
    // Asks for the lock and returns at once; failures are logged.
    virtual void lock() = 0;
};

// `loginctl lock-session`, started without waiting for it. `program` is the tool to start (tests name
// one that does not exist).
class LoginctlLock : public ScreenLock {
public:
    explicit LoginctlLock(QString program = QStringLiteral("loginctl")) : program_(std::move(program)) {}
    void lock() override;

private:
    QString program_;
};

// For tests: counts the requests.
class RecordingScreenLock : public ScreenLock {
public:
    void lock() override { ++locks; }
    int locks = 0;
};
