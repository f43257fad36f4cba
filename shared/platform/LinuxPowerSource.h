#pragma once
// The power state on Linux: UPower's OnBattery on the system bus, power-profiles-daemon's ActiveProfile
// ("power-saver" is Low Power Mode; net.hadess.PowerProfiles on Debian 12, the newer
// org.freedesktop.UPower.PowerProfiles elsewhere), and /sys/class/power_supply when UPower does not
// answer. Every read asks the service (a short round trip); their PropertiesChanged signals emit
// `changed`.

#include "PowerSource.h"

#include <QString>

class LinuxPowerSource : public PowerSource {
    Q_OBJECT
public:
    // `supplies` is the power-supply class folder (tests give their own).
    explicit LinuxPowerSource(QString supplies = QStringLiteral("/sys/class/power_supply"),
                              QObject* parent = nullptr);

    bool onBattery() const override;
    bool lowPower() const override;

    // The battery rule over a power-supply folder: a mains or USB supply that is online means mains;
    // otherwise a battery that is discharging means battery; anything else (nothing readable) is mains.
    static bool onBatteryBySupplies(const QString& folder);

private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

private:
    QString supplies_;
};
