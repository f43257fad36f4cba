#pragma once
// The port to the desktop's notifications: a short message that appears and goes away on its own. Used
// where the program has nothing else on screen to say something with (no tray, no window).
//
// Header only, so code that merely talks to the port needs no platform library.

#include <QString>
#include <optional>

class Notifier {
public:
    virtual ~Notifier() = default;

    // Shows `title` with `body`. Nothing once the desktop took it, else the reason in words. GUI thread;
    // it waits at most a few seconds for the desktop.
    virtual std::optional<QString> notify(const QString& title, const QString& body) = 0;
};

// Where the desktop shows no notifications.
class NoNotifier : public Notifier {
public:
    std::optional<QString> notify(const QString&, const QString&) override {
        return QStringLiteral("no notification service");
    }
};
