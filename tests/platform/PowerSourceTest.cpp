// The power reader against python-dbusmock's UPower and power-profiles-daemon on a private system bus,
// and the power-supply folder when UPower is not there.
#include "DesktopSession.h"
#include "LinuxPowerSource.h"
#include "SessionFixture.h"
#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
bool setProperty(const QString& service, const QString& path, const QString& interface, const QString& name,
                 const QVariant& value) {
    QDBusMessage set =
        QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Properties", "Set");
    set << interface << name << QVariant::fromValue(QDBusVariant(value));
    return QDBusConnection::systemBus().call(set).type() == QDBusMessage::ReplyMessage;
}
} // namespace

TEST(PowerSource, FollowsUPowerAndPowerProfilesThenTheSupplyFolder) {
    QTemporaryDir supplies;
    QDir(supplies.path()).mkpath("BAT0");
    writeFile(supplies.filePath("BAT0/type"), "Battery\n");
    writeFile(supplies.filePath("BAT0/status"), "Discharging\n");
    LinuxPowerSource power(supplies.path());
    int changes = 0;
    QObject::connect(&power, &PowerSource::changed, [&] { ++changes; });

    auto upower = std::make_unique<BackgroundProgram>(
        "/usr/bin/python3", QStringList{"-m", "dbusmock", "--system", "--template", "upower"});
    BackgroundProgram profiles("/usr/bin/python3",
                               {"-m", "dbusmock", "--system", "--template", "power_profiles_daemon"});
    ASSERT_TRUE(waitForName("org.freedesktop.UPower", true));
    ASSERT_TRUE(waitForName("net.hadess.PowerProfiles", true));
    EXPECT_FALSE(power.onBattery()); // UPower says mains, whatever the folder says
    EXPECT_FALSE(power.lowPower());

    ASSERT_TRUE(setProperty("org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower",
                            "OnBattery", true));
    EXPECT_TRUE(waitUntil([&] { return changes > 0; })); // the signal, not a poll
    EXPECT_TRUE(power.onBattery());

    changes = 0;
    ASSERT_TRUE(setProperty("net.hadess.PowerProfiles", "/net/hadess/PowerProfiles",
                            "net.hadess.PowerProfiles", "ActiveProfile", "power-saver"));
    EXPECT_TRUE(waitUntil([&] { return changes > 0; }));
    EXPECT_TRUE(power.lowPower());

    ASSERT_TRUE(setProperty("org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower",
                            "OnBattery", false));
    EXPECT_TRUE(waitUntil([&] { return !power.onBattery(); }));

    // Without UPower the folder decides: a discharging battery and no mains.
    upower.reset();
    EXPECT_TRUE(waitUntil([&] { return power.onBattery(); }));
    writeFile(supplies.filePath("BAT0/status"), "Full\n");
    EXPECT_FALSE(power.onBattery());
}
