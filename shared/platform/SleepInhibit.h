#pragma once
// The port that keeps the displays awake while the imagery shows outside the saver mode (the display-sleep
// assertion). The factory (Platform::sleepInhibit) tries the session's org.freedesktop.ScreenSaver
// service first and the X server's screen-saver extension second, at each inhibit.
//
// GUI thread only.

#include <QString>
#include <memory>
#include <vector>

class SleepInhibit {
public:
    virtual ~SleepInhibit() = default;

    // Keeps the displays from sleeping until release(); true when this source now holds the request.
    // `application` and `reason` are what a desktop shows in its list of inhibitors.
    virtual bool inhibit(const QString& application, const QString& reason) = 0;
    // Lets the displays sleep again; nothing when not held.
    virtual void release() = 0;
    virtual bool held() const = 0;
    virtual QString name() const = 0;
};

// Tries each source in order until one holds the request; releases the one that holds it. When none
// can, logs one line and holds nothing.
class FirstSleepInhibit : public SleepInhibit {
public:
    explicit FirstSleepInhibit(std::vector<std::unique_ptr<SleepInhibit>> sources);

    bool inhibit(const QString& application, const QString& reason) override;
    void release() override;
    bool held() const override;
    QString name() const override;

private:
    std::vector<std::unique_ptr<SleepInhibit>> sources_;
    SleepInhibit* holder_ = nullptr;
};

// A source for tests: records what it was asked, and holds or refuses on demand.
class RecordingSleepInhibit : public SleepInhibit {
public:
    bool inhibit(const QString& application, const QString& reason) override {
        requests.push_back(application + " / " + reason);
        held_ = available;
        return held_;
    }
    void release() override {
        if (held_) ++releases;
        held_ = false;
    }
    bool held() const override { return held_; }
    QString name() const override { return QStringLiteral("a recorder"); }

    bool available = true;
    std::vector<QString> requests;
    int releases = 0;

private:
    bool held_ = false;
};
