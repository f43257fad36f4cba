#include "PortalSleepInhibit.h"

#include "Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

namespace {
const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
constexpr int callTimeoutMs = 2000;
} // namespace

bool PortalSleepInhibit::inhibit(const QString&, const QString& reason) {
    if (held()) return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service).value())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    call << QString() << idleFlag << QVariantMap{{QStringLiteral("reason"), reason}};
    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeoutMs);
    const QString handle = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                               ? reply.arguments().constFirst().value<QDBusObjectPath>().path()
                               : QString();
    if (handle.isEmpty()) {
        log("display sleep: the Inhibit portal refused: " +
                (reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()),
            LogArea::app);
        return false;
    }
    handle_ = handle;
    return true;
}

void PortalSleepInhibit::release() {
    if (!held()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, handle_, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"));
    handle_.clear();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        log("display sleep: the Inhibit portal did not take back the inhibit: " + reply.errorMessage(),
            LogArea::app);
}
