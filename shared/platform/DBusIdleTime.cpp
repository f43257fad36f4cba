#include "DBusIdleTime.h"

#include "Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariant>

namespace {
// A local service answers in microseconds; a hung one must not freeze the GUI thread for long.
constexpr int callTimeoutMs = 500;
} // namespace

DBusIdleTime::DBusIdleTime(QString service, QString path, QString interface, QString method)
    : service_(std::move(service)), path_(std::move(path)), interface_(std::move(interface)),
      method_(std::move(method)) {}

DBusIdleTime DBusIdleTime::mutter() {
    return {"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
            "org.gnome.Mutter.IdleMonitor", "GetIdletime"};
}

DBusIdleTime DBusIdleTime::screenSaver() {
    return {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
            "GetSessionIdleTime"};
}

std::optional<double> DBusIdleTime::ask(QString* error) const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (error) *error = QStringLiteral("no session bus");
        return std::nullopt;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(service_, path_, interface_, method_);
    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (error) *error = reply.errorName().isEmpty() ? QStringLiteral("no answer") : reply.errorName();
        return std::nullopt;
    }
    bool ok = false;
    const qulonglong milliseconds = reply.arguments().constFirst().toULongLong(&ok);
    if (!ok) {
        if (error) *error = QStringLiteral("an answer that is not a number");
        return std::nullopt;
    }
    return double(milliseconds) / 1000.0;
}

std::optional<double> DBusIdleTime::secondsIdle() {
    QString error;
    const auto seconds = ask(&error);
    if (!seconds && !failing_)
        log("idle time: " + service_ + " stopped answering (" + error + "); only input to our windows counts",
            LogArea::app);
    failing_ = !seconds;
    return seconds;
}
