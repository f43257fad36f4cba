// The flare notification through a real notification server: python3-dbusmock's notification daemon
// on the session bus of dbus-run-session. Once per flare, also after the program starts again.
#include "FlareAlert.h"
#include "FreedesktopNotifier.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestDesktop.h"

#include "Cache.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(FlareNotice, OnePerFlareThroughTheNotificationServer) {
    int argc = 1;
    char name[] = "flare_notice_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    const QString settings = folder.path() + QStringLiteral("/settings.plist");
    Settings::d().useFile(settings);
    Cache::setDir(folder.path() + QStringLiteral("/cache"));
    TestDesktop session;
    ASSERT_TRUE(session.ready());
    ASSERT_TRUE(
        session.mock(QStringLiteral("notification_daemon"), QStringLiteral("org.freedesktop.Notifications")));

    const QDateTime now = QDateTime::currentDateTimeUtc();
    SpaceWeather::Record record;
    record.fetched = now;
    record.flares = {{now.addSecs(-3600), now.addSecs(-3000), now.addSecs(-1800), QStringLiteral("M6.2"), 18},
                     {now.addSecs(-1200), now.addSecs(-900), {}, QStringLiteral("C2.0"), 18}};
    ASSERT_TRUE(SpaceWeather::save(record));
    Settings::setNotifyFlares(true);
    FreedesktopNotifier notifier;
    const FlareAlert::Send send = [&](const QString& title, const QString& body) {
        return notifier.notify(title, body);
    };
    EXPECT_EQ(FlareAlert::announce(send, now), 1);
    EXPECT_EQ(FlareAlert::announce(send, now.addSecs(60)), 0);
    // A later start reads what was announced from the settings file.
    Settings::d().useFile(settings);
    EXPECT_EQ(FlareAlert::announce(send, now.addSecs(120)), 0);

    const QString calls = QString::fromUtf8(session.mockLog(QStringLiteral("notification_daemon")));
    EXPECT_EQ(calls.count(QStringLiteral("Notify ")), 1) << calls.toStdString();
    EXPECT_TRUE(calls.contains(QStringLiteral("\"M6.2 solar flare\""))) << calls.toStdString();
}
