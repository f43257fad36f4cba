#include "SessionFixture.h"

#include "DesktopSession.h"
#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

QString solidPicture(const QString& folder, const QString& name, QColor colour, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = QDir(folder).filePath(name);
    image.save(path, "PNG");
    return path;
}

QColor pixelAt(const QString& file, QPoint point) {
    const QImage image(file);
    if (image.isNull() || !image.rect().contains(point)) return {};
    return image.pixelColor(point);
}

QString grabRoot(const QString& folder) {
    const QString xwd = QDir(folder).filePath("root.xwd");
    const QString png = QDir(folder).filePath("root.png");
    QFile::remove(png);
    if (runProgram("xwd", {"-root", "-silent", "-out", xwd}).status != 0) return {};
    if (runProgram("convert", {xwd, png}).status != 0) return {};
    return png;
}

bool waitForName(const QString& name, bool system) {
    QDBusConnection bus = system ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
    return waitUntil([&] { return bus.interface()->isServiceRegistered(name).value(); }, 30000);
}
