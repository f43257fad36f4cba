#include "LinuxPowerSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>

namespace {

constexpr int timeoutMs = 2000;

struct Property {
    const char* service;
    const char* path;
    const char* interface;
    const char* name;
};

const Property battery{"org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower",
                       "OnBattery"};
const Property profiles[] = {
    {"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles", "net.hadess.PowerProfiles", "ActiveProfile"},
    {"org.freedesktop.UPower.PowerProfiles", "/org/freedesktop/UPower/PowerProfiles",
     "org.freedesktop.UPower.PowerProfiles", "ActiveProfile"},
};

std::optional<QVariant> read(const Property& property) {
    QDBusMessage call = QDBusMessage::createMethodCall(property.service, property.path,
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << QString::fromLatin1(property.interface) << QString::fromLatin1(property.name);
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

QByteArray firstLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readLine().trimmed();
}

} // namespace

LinuxPowerSource::LinuxPowerSource(QString supplies, QObject* parent)
    : PowerSource(parent), supplies_(std::move(supplies)) {
    QDBusConnection bus = QDBusConnection::systemBus();
    for (const Property& property : {battery, profiles[0], profiles[1]})
        bus.connect(QString(), property.path, QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this,
                    SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
}

void LinuxPowerSource::propertiesChanged(const QString& interface, const QVariantMap& values,
                                         const QStringList& invalidated) {
    const bool ours = interface == QLatin1String(battery.interface) ||
                      interface == QLatin1String(profiles[0].interface) ||
                      interface == QLatin1String(profiles[1].interface);
    const bool relevant = values.contains(QStringLiteral("OnBattery")) ||
                          values.contains(QStringLiteral("ActiveProfile")) ||
                          invalidated.contains(QStringLiteral("OnBattery")) ||
                          invalidated.contains(QStringLiteral("ActiveProfile"));
    if (ours && relevant) emit changed();
}

bool LinuxPowerSource::onBattery() const {
    if (const auto value = read(battery)) return value->toBool();
    return onBatteryBySupplies(supplies_);
}

bool LinuxPowerSource::lowPower() const {
    for (const Property& property : profiles)
        if (const auto value = read(property)) return value->toString() == QLatin1String("power-saver");
    return false;
}

bool LinuxPowerSource::onBatteryBySupplies(const QString& folder) {
    const QDir dir(folder);
    bool discharging = false;
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QByteArray type = firstLine(dir.filePath(name + QStringLiteral("/type")));
        if ((type == "Mains" || type == "USB") &&
            firstLine(dir.filePath(name + QStringLiteral("/online"))) == "1")
            return false;
        if (type == "Battery" && firstLine(dir.filePath(name + QStringLiteral("/status"))) == "Discharging")
            discharging = true;
    }
    return discharging;
}
