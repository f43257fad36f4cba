// The flare and storm notifications through a real notification server: python3-dbusmock's
// notification daemon on the session bus of dbus-run-session. Once per event, also after the program
// starts again.
#include "FlareAlert.h"
#include "FreedesktopNotifier.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "StormAlert.h"
#include "TestDesktop.h"

#include "Cache.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
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
    // A storm that rose to G2 over the last six hours: Kp 5- then 6- in the interval now running.
    const QDateTime interval =
        QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch() / 10800 * 10800, QTimeZone::utc());
    record.geomagnetic.kp = {{interval.addSecs(-10800), 4.67}, {interval, 5.67}};
    record.geomagnetic.kpNow = Geomagnetic::Reading{now.addSecs(-120), 5.67};
    ASSERT_TRUE(SpaceWeather::save(record));
    Settings::setNotifyFlares(true);
    Settings::setNotifyStorms(2);
    FreedesktopNotifier notifier;
    const FlareAlert::Send send = [&](const QString& title, const QString& body) {
        return notifier.notify(title, body);
    };
    const auto ordinary = FlareAlert::Session::ordinary;
    EXPECT_EQ(FlareAlert::announce(send, ordinary, now), 1);
    EXPECT_EQ(StormAlert::announce(send, ordinary, now), 1);
    EXPECT_EQ(FlareAlert::announce(send, ordinary, now.addSecs(60)), 0);
    EXPECT_EQ(StormAlert::announce(send, ordinary, now.addSecs(60)), 0);
    // A later start reads what was announced from the settings file.
    Settings::d().useFile(settings);
    EXPECT_EQ(FlareAlert::announce(send, ordinary, now.addSecs(120)), 0);
    EXPECT_EQ(StormAlert::announce(send, ordinary, now.addSecs(120)), 0);

    const QString calls = QString::fromUtf8(session.mockLog(QStringLiteral("notification_daemon")));
    EXPECT_EQ(calls.count(QStringLiteral("Notify ")), 2) << calls.toStdString();
    EXPECT_TRUE(calls.contains(QStringLiteral("\"M6.2 solar flare\""))) << calls.toStdString();
    EXPECT_TRUE(calls.contains(QStringLiteral("\"G2 geomagnetic storm\""))) << calls.toStdString();
    // What the daemon was given, for a person to read.
    if (const QByteArray shown = qgetenv("SOLVANE_NOTICE_LOG"); !shown.isEmpty()) {
        QFile out(QString::fromLocal8Bit(shown));
        if (out.open(QIODevice::WriteOnly)) out.write(calls.toUtf8());
    }
}
