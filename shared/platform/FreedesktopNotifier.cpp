#include "FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

std::optional<QString> FreedesktopNotifier::notify(const QString& title, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return QStringLiteral("no session bus");
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app name, replaces id, icon, summary, body, actions, hints, timeout (-1: the server's default)
    call << QStringLiteral("Solvane") << quint32(0) << QStringLiteral("solvane") << title << body
         << QStringList() << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("solvane")}}
         << qint32(-1);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) return reply.errorMessage();
    return std::nullopt;
}
