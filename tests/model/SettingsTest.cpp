// The typed accessors' read and write rules, the per-screen choices, the kiosk preset and the login
// item, on the process-wide store pointed at a temporary folder.

#include "Settings.h"
#include "RecordingLoginItem.h"
#include "SettingsStore.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Settings;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        d().useFile(folder.path() + "/example.tessly.solvane.plist");
        login = std::make_shared<RecordingLoginItem>();
        useLoginItem(login);
    }
    void TearDown() override { useLoginItem(nullptr); }

    void store(Key key, const QVariant& value) { d().set(key, value); }
    QVariant raw(Key key) { return SettingsStore(d().file()).value(key); }

    QTemporaryDir folder;
    std::shared_ptr<RecordingLoginItem> login;
};

} // namespace

TEST_F(SettingsTest, AnEmptyStoreReadsTheDefaults) {
    EXPECT_EQ(mode(), Mode::desktop);
    EXPECT_EQ(products(), QStringList({"rainbow", "171", "304"}));
    EXPECT_EQ(idleMinutes(), 5.0);
    EXPECT_TRUE(lockOnDismiss());
    EXPECT_FALSE(offline());
    EXPECT_EQ(refreshMinutes(), 1440.0);
    EXPECT_EQ(lastCheck(), distantPast());
    EXPECT_EQ(lastManual(), distantPast());
    EXPECT_EQ(lastCheck().date().year(), 1);
    EXPECT_EQ(storeHost(), defaultStoreHost);
    EXPECT_EQ(imageryHost(), defaultImageryHost);
    EXPECT_FALSE(attribution());
    EXPECT_FALSE(shuffle());
    EXPECT_EQ(loops(), 1);
    EXPECT_EQ(transition(), Transition::black);
    EXPECT_FALSE(desktop());
    EXPECT_EQ(desktopCounter(), 0);
    EXPECT_EQ(previousDesktop(), std::nullopt);
    EXPECT_FALSE(configured());
    EXPECT_FALSE(captionUTC());
    EXPECT_TRUE(frameClock());
    EXPECT_EQ(infoEvery(), 0);
    EXPECT_EQ(look(), Look::natural);
    EXPECT_EQ(runningLagSlots(), 1);
    EXPECT_FALSE(liveDesktop());
    EXPECT_TRUE(pauseOnBattery());
    EXPECT_FALSE(liveStatusIcon());
    EXPECT_TRUE(desktopActive());
    EXPECT_EQ(productsInUse(), (QSet<QString>{"rainbow", "171", "304"}));
    EXPECT_FALSE(notifyFlares());
    EXPECT_EQ(flareNoticeClass(), "M5");
    EXPECT_EQ(notifyStorms(), 0);
    EXPECT_FALSE(spaceWeatherBadge());
}

TEST_F(SettingsTest, NoticeThresholdsReadOnlyWhatTheyMean) {
    for (const char* known : {"C", "M1", "M5", "X1"}) {
        setFlareNoticeClass(known);
        EXPECT_EQ(flareNoticeClass(), known);
    }
    for (const QVariant& other : {QVariant("X"), QVariant("m1"), QVariant(" C"), QVariant(5)}) {
        store(Key::flareNoticeClass, other);
        EXPECT_EQ(flareNoticeClass(), "M5") << other.toString().toStdString();
    }
    for (const auto& [stored, read] : std::vector<std::pair<QVariant, qint64>>{{qint64(3), 3},
                                                                               {qint64(5), 5},
                                                                               {qint64(0), 0},
                                                                               {qint64(6), 0},
                                                                               {qint64(-1), 0},
                                                                               {QVariant("2"), 0}}) {
        store(Key::notifyStorms, stored);
        EXPECT_EQ(notifyStorms(), read) << stored.toString().toStdString();
    }
    setNotifyStorms(9);
    EXPECT_EQ(notifyStorms(), 5);
}

TEST_F(SettingsTest, JunkOfTheWrongTypeReadsTheDefaults) {
    const QVariant junk = QVariantList{1, 2};
    for (Key key : allKeys())
        store(key, junk);
    EXPECT_EQ(mode(), Mode::desktop);
    EXPECT_EQ(products(), defaultProducts());
    EXPECT_EQ(idleMinutes(), 5.0);
    EXPECT_FALSE(lockOnDismiss()) << "present, so the stored (unusable) boolean counts";
    EXPECT_EQ(refreshMinutes(), 1440.0);
    EXPECT_EQ(lastCheck(), distantPast());
    EXPECT_EQ(storeHost(), defaultStoreHost);
    EXPECT_EQ(loops(), 1);
    EXPECT_EQ(transition(), Transition::black);
    EXPECT_EQ(previousDesktop(), std::nullopt);
    EXPECT_EQ(look(), Look::natural);
    EXPECT_EQ(runningLagSlots(), 1);
    EXPECT_EQ(infoEvery(), 0);

    store(Key::mode, QStringLiteral("theatre"));
    EXPECT_EQ(mode(), Mode::desktop);
    EXPECT_TRUE(desktopActive());
    store(Key::transition, QStringLiteral("Wipe"));
    EXPECT_EQ(transition(), Transition::black);
    store(Key::look, QStringLiteral("sepia"));
    EXPECT_EQ(look(), Look::natural);
    store(Key::products, QVariantList{QStringLiteral("171"), 304});
    EXPECT_EQ(products(), defaultProducts());
    store(Key::products, QVariantList{});
    EXPECT_TRUE(products().isEmpty());
    EXPECT_EQ(screenChoice(2), ScreenChoice::all());
}

TEST_F(SettingsTest, NumberRules) {
    store(Key::refreshMinutes, 60);
    EXPECT_EQ(refreshMinutes(), 1440.0);
    store(Key::refreshMinutes, 720);
    EXPECT_EQ(refreshMinutes(), 720.0);
    store(Key::refreshMinutes, QStringLiteral("720"));
    EXPECT_EQ(refreshMinutes(), 1440.0);
    setRefreshMinutes(719);
    EXPECT_EQ(raw(Key::refreshMinutes), 1440.0);
    setRefreshMinutes(720);
    EXPECT_EQ(refreshMinutes(), 720.0);

    for (qint64 small : {qint64(-4), qint64(0), qint64(1)}) {
        setLoops(small);
        EXPECT_EQ(raw(Key::loops), 1);
    }
    setLoops(4);
    EXPECT_EQ(raw(Key::loops), 4);
    store(Key::loops, -9);
    EXPECT_EQ(loops(), 1);

    store(Key::idleMinutes, 0);
    EXPECT_EQ(idleMinutes(), 5.0);
    setIdleMinutes(-2);
    EXPECT_EQ(raw(Key::idleMinutes), -2.0) << "the setter does not clamp";
    EXPECT_EQ(idleMinutes(), 5.0);
    setIdleMinutes(0.5);
    EXPECT_EQ(idleMinutes(), 0.5);

    setInfoEvery(-3);
    EXPECT_EQ(raw(Key::infoEvery), 0);
    store(Key::infoEvery, -3);
    EXPECT_EQ(infoEvery(), 0);
    setInfoEvery(6);
    EXPECT_EQ(infoEvery(), 6);

    setRunningLagSlots(3);
    EXPECT_EQ(raw(Key::runningLagSlots), 3);
    setRunningLagSlots(2);
    EXPECT_EQ(raw(Key::runningLagSlots), 1);
    store(Key::runningLagSlots, 5);
    EXPECT_EQ(runningLagSlots(), 1);
    store(Key::runningLagSlots, 3.0);
    EXPECT_EQ(runningLagSlots(), 3);

    setDesktopCounter(41);
    EXPECT_EQ(desktopCounter(), 41);
}

TEST_F(SettingsTest, BooleansThatDefaultToTrueAskForPresenceFirst) {
    using Getter = bool (*)();
    using Setter = void (*)(bool);
    const std::vector<std::tuple<Key, Getter, Setter>> keys{
        {Key::lockOnDismiss, lockOnDismiss, setLockOnDismiss},
        {Key::frameClock, frameClock, setFrameClock},
        {Key::pauseOnBattery, pauseOnBattery, setPauseOnBattery}};
    for (const auto& [key, get, set] : keys) {
        SCOPED_TRACE(rawValue(key).toStdString());
        EXPECT_TRUE(get());
        set(false);
        EXPECT_FALSE(get());
        EXPECT_EQ(raw(key), false);
        set(true);
        EXPECT_TRUE(get());
        d().remove(key);
        EXPECT_TRUE(get());
    }
}

TEST_F(SettingsTest, AttributionFollowsModeUntilStored) {
    EXPECT_FALSE(attribution());
    setMode(Mode::kiosk);
    EXPECT_TRUE(attribution());
    EXPECT_FALSE(d().has(Key::attribution)) << "no write was needed";
    setAttribution(false);
    EXPECT_FALSE(attribution());
    setMode(Mode::wall);
    setAttribution(true);
    EXPECT_TRUE(attribution());
}

TEST_F(SettingsTest, HostsAreNormalisedOnReadAndStoredAsGiven) {
    setStoreHost("https://sun.example.org/");
    EXPECT_EQ(storeHost(), "sun.example.org");
    EXPECT_EQ(raw(Key::storeHost), "https://sun.example.org/");
    setImageryHost(" http://mirror.example:8443/sdo/ ");
    EXPECT_EQ(imageryHost(), "mirror.example:8443/sdo");
    setImageryHost("");
    EXPECT_EQ(imageryHost(), "") << "an empty stored host stays empty";
}

TEST_F(SettingsTest, EnumerationsAndDatesAreStoredAsPropertyListValues) {
    setMode(Mode::saver);
    setTransition(Transition::wipe);
    setLook(Look::running);
    EXPECT_EQ(raw(Key::mode), "saver");
    EXPECT_EQ(raw(Key::transition), "wipe");
    EXPECT_EQ(raw(Key::look), "running");
    EXPECT_EQ(mode(), Mode::saver);
    EXPECT_EQ(transition(), Transition::wipe);
    EXPECT_EQ(look(), Look::running);
    EXPECT_FALSE(desktopActive());
    setDesktop(true);
    EXPECT_TRUE(desktopActive());

    const QDateTime when = QDateTime::fromString("2026-12-07T20:09:27Z", Qt::ISODate);
    setLastCheck(when);
    setLastManual(when.addSecs(60));
    EXPECT_EQ(raw(Key::lastCheck).typeId(), QMetaType::QDateTime);
    EXPECT_EQ(lastCheck(), when);
    EXPECT_EQ(lastManual(), when.addSecs(60));
    store(Key::lastManual, QStringLiteral("yesterday"));
    EXPECT_EQ(lastManual(), distantPast());
}

TEST_F(SettingsTest, PreviousDesktopNoneRemovesTheKey) {
    setPreviousDesktop(QStringList{"a.png", "b.png"});
    EXPECT_EQ(previousDesktop(), QStringList({"a.png", "b.png"}));
    setPreviousDesktop(std::nullopt);
    EXPECT_FALSE(d().has(Key::previousDesktop));
    EXPECT_EQ(previousDesktop(), std::nullopt);
}

TEST_F(SettingsTest, PerScreenChoices) {
    setProducts({"171", "off"});
    EXPECT_EQ(screenChoice(3), ScreenChoice::off());
    EXPECT_EQ(screenChoice(0).ids(), QStringList({"171"}));
    EXPECT_FALSE(isEnabled(1));
    EXPECT_TRUE(isEnabled(2));
    EXPECT_TRUE(productList(1).isEmpty());
    EXPECT_EQ(productsInUse(), QSet<QString>({"171"}));

    setProducts({"", "off", "304,171"});
    EXPECT_TRUE(productList(0).isEmpty());
    EXPECT_TRUE(productList(1).isEmpty());
    EXPECT_TRUE(isEnabled(0));
    EXPECT_FALSE(isEnabled(1));
    EXPECT_EQ(productList(2), QStringList({"304", "171"}));
    EXPECT_EQ(productsInUse(), std::nullopt);

    setProducts({});
    EXPECT_EQ(screenChoice(3), ScreenChoice::all());
    EXPECT_EQ(productsInUse(), std::nullopt);
}

TEST_F(SettingsTest, KioskPresetRoundTrips) {
    setOffline(false);
    setMode(Mode::kiosk);
    enterKioskPreset(Mode::desktop);
    EXPECT_TRUE(offline());
    EXPECT_TRUE(attribution());
    EXPECT_TRUE(openAtLogin());
    EXPECT_TRUE(spaceWeatherBadge());
    EXPECT_EQ(login->requests, std::vector<bool>({true}));
    setMode(Mode::wall);
    leaveKioskPreset();
    EXPECT_FALSE(offline());
    EXPECT_FALSE(d().has(Key::attribution));
    EXPECT_FALSE(attribution());
    EXPECT_FALSE(d().has(Key::spaceWeatherBadge));
    EXPECT_FALSE(spaceWeatherBadge());
    EXPECT_TRUE(openAtLogin()) << "leaving Kiosk leaves the login item alone";

    // Entering twice keeps the value from before the first entry.
    setOffline(true);
    enterKioskPreset(Mode::saver);
    enterKioskPreset(Mode::kiosk);
    setOffline(false);
    enterKioskPreset(Mode::kiosk);
    leaveKioskPreset();
    EXPECT_TRUE(offline());

    setOffline(false);
    enterKioskPreset(Mode::wall);
    enterKioskPreset(Mode::kiosk);
    leaveKioskPreset();
    EXPECT_FALSE(offline());
}

TEST_F(SettingsTest, LeavingKioskWithNothingRememberedGoesOnline) {
    setOffline(true);
    setAttribution(false);
    leaveKioskPreset();
    EXPECT_FALSE(offline());
    EXPECT_FALSE(d().has(Key::attribution));
}

TEST_F(SettingsTest, LoginItemFailuresAreLoggedAndTheKioskPresetCarriesOn) {
    login->failure = QStringLiteral("cannot write /x/solvane.desktop: Permission denied");
    CapturedLog captured;
    enterKioskPreset(Mode::desktop);
    EXPECT_EQ(captured.finish(), "solvane: login item: cannot write /x/solvane.desktop: Permission denied\n");
    EXPECT_TRUE(offline());
    EXPECT_TRUE(attribution());
    EXPECT_FALSE(openAtLogin());

    login->failure.reset();
    setOpenAtLogin(true);
    EXPECT_TRUE(openAtLogin());
    setOpenAtLogin(false);
    EXPECT_FALSE(openAtLogin());

    useLoginItem(nullptr);
    setOpenAtLogin(true);
    EXPECT_FALSE(openAtLogin()) << "without a port nothing is registered";
}

TEST_F(SettingsTest, TheStoreIsRerootedForTests) {
    EXPECT_TRUE(d().file().startsWith(folder.path()));
    setMode(Mode::wall);
    EXPECT_TRUE(QFile::exists(folder.path() + "/example.tessly.solvane.plist"));
    EXPECT_EQ(SettingsStore::fileFor(domain).section('/', -1), "example.tessly.solvane.plist");
}
