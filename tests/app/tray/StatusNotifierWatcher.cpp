#include "StatusNotifierWatcher.h"

#include <QDBusConnection>
#include <QDBusMessage>

bool StatusNotifierWatcher::start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.registerObject("/StatusNotifierWatcher", this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                  QDBusConnection::ExportAllProperties) &&
           bus.registerService("org.kde.StatusNotifierWatcher");
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath) {
    // An item may register by object path alone; its bus name is then the caller's.
    const QString item = serviceOrPath.startsWith('/') ? message().service() + serviceOrPath : serviceOrPath;
    items_ << item;
    emit StatusNotifierItemRegistered(item);
}
