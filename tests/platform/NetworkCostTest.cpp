// The metered-network reader against python-dbusmock's NetworkManager on a private system bus, through
// GLib's own network monitor.
#include "NetworkCost.h"
#include "DesktopSession.h"
#include "SessionFixture.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <gtest/gtest.h>

namespace {
// NetworkManager's NMMetered values.
constexpr uint meteredYes = 1;
constexpr uint meteredGuessNo = 4;

bool callMock(const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager",
        method == "Set" ? "org.freedesktop.DBus.Properties" : "org.freedesktop.DBus.Mock", method);
    call.setArguments(arguments);
    return QDBusConnection::systemBus().call(call).type() == QDBusMessage::ReplyMessage;
}
} // namespace

TEST(NetworkCost, FollowsNetworkManagersMeteredProperty) {
    BackgroundProgram manager("/usr/bin/python3",
                              {"-m", "dbusmock", "--system", "--template", "networkmanager"});
    ASSERT_TRUE(waitForName("org.freedesktop.NetworkManager", true));
    ASSERT_TRUE(callMock("AddProperty", {"org.freedesktop.NetworkManager", "Metered",
                                         QVariant::fromValue(QDBusVariant(meteredGuessNo))}));
    // GLib chooses its monitor once per process; here it must be NetworkManager's.
    qputenv("GIO_USE_NETWORK_MONITOR", "networkmanager");
    GioNetworkCost cost;
    int changes = 0;
    QObject::connect(&cost, &NetworkCost::changed, [&] { ++changes; });
    EXPECT_FALSE(cost.metered());

    ASSERT_TRUE(callMock(
        "Set", {"org.freedesktop.NetworkManager", "Metered", QVariant::fromValue(QDBusVariant(meteredYes))}));
    EXPECT_TRUE(waitUntil([&] { return changes > 0; })); // the signal, not a poll
    EXPECT_TRUE(cost.metered());

    ASSERT_TRUE(callMock("Set", {"org.freedesktop.NetworkManager", "Metered",
                                 QVariant::fromValue(QDBusVariant(meteredGuessNo))}));
    EXPECT_TRUE(waitUntil([&] { return !cost.metered(); }));
}
