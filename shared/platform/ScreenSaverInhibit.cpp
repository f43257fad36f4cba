#include "ScreenSaverInhibit.h"

#include "Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariant>

namespace {
const QString service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString path = QStringLiteral("/org/freedesktop/ScreenSaver");
constexpr int callTimeoutMs = 2000;
} // namespace

bool ScreenSaverInhibit::inhibit(const QString& application, const QString& reason) {
    if (cookie_) return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service).value())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Inhibit"));
    call << application << reason;
    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeoutMs);
    bool ok = false;
    const quint32 cookie = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                               ? reply.arguments().constFirst().toUInt(&ok)
                               : 0;
    if (!ok) {
        log("display sleep: " + service + " refused to inhibit: " +
                (reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()),
            LogArea::app);
        return false;
    }
    cookie_ = cookie;
    return true;
}

void ScreenSaverInhibit::release() {
    if (!cookie_) return;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("UnInhibit"));
    call << *cookie_;
    cookie_.reset();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        log("display sleep: " + service + " did not take back the inhibit: " + reply.errorMessage(),
            LogArea::app);
}
