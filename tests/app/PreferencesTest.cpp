#include "App.h"
#include "CacheSettings.h"
#include "Catalog.h"
#include "IdleTime.h"
#include "Mode.h"
#include "PreferencesRules.h"
#include "ScreenGrid.h"
#include "SpaceWeatherCard.h"
#include "TestSupport.h"
#include "WindowsFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QThread>
#include <QToolButton>
#include <atomic>
#include <set>

using namespace PreferencesRules;

namespace {
CacheEntry entry(const QString& id, const QString& updated) {
    CacheEntry cached;
    cached.id = id;
    cached.video = id + ".mp4";
    cached.updated = updated;
    return cached;
}

// Triggers the item of a screen's pull-down that carries `id` (a product) or has `title`.
void pick(ScreenGrid* grid, int screen, const QString& idOrTitle) {
    for (QAction* action : grid->popup(screen)->menu()->actions())
        if (action->data().toString() == idOrTitle || action->text() == idOrTitle) {
            action->trigger();
            return;
        }
    ADD_FAILURE() << "no item " << idOrTitle.toStdString();
}
} // namespace

TEST(PreferencesRules, ScreenListsTitlesAndStoredEntries) {
    const QString a304 = QString::fromUtf8("AIA 304 \u00C5"), a171 = QString::fromUtf8("AIA 171 \u00C5");
    const std::vector<std::pair<QStringList, QString>> titles{
        {{}, "All products (cycle)"},
        {{"off"}, "Off"},
        {{"304"}, a304},
        {{"nonesuch"}, "1 product"},
        {{"304", "171"}, a304 + ", " + a171},
        {{"304", "171", "193"}, "3 products"},
    };
    for (const auto& [list, title] : titles)
        EXPECT_EQ(summaryTitle(list), title) << list.join(',').toStdString();

    EXPECT_EQ(toggledProduct({"off"}, "171"), QStringList{"171"});
    EXPECT_EQ(toggledProduct({"304"}, "171"), (QStringList{"304", "171"}));
    EXPECT_EQ(toggledProduct({"304", "171"}, "304"), QStringList{"171"});

    auto reverse = [](QStringList& list) { std::reverse(list.begin(), list.end()); };
    EXPECT_EQ(randomized({"304", "171"}, {}), (QStringList{"171", "304"}));
    EXPECT_EQ(randomized({"a", "b", "c"}, reverse), (QStringList{"c", "b", "a"}));

    // Entries of screens not connected now survive a save made with fewer screens.
    EXPECT_EQ(savedProducts({"rainbow", "171", "304"}, {{"193"}, {}}), (QStringList{"193", "", "304"}));
    EXPECT_EQ(savedProducts({}, {{"off"}, {"304", "171"}}), (QStringList{"off", "304,171"}));
}

TEST(PreferencesRules, CacheStatusArmNoteAndTurnOffText) {
    std::vector<CacheEntry> all;
    for (const CatalogProduct& product : Catalog::all())
        all.push_back(entry(product.id, "2026-12-07T1" + QString::number(all.size() % 10) + ":00:00Z"));
    const QString newest = WallView::pretty(QString("2026-12-07T19:00:00Z"));
    const QDateTime next = QDateTime::currentDateTime().addSecs(1800);
    const QString nextTime = QLocale().toString(next.time(), QLocale::ShortFormat);
    const std::vector<std::tuple<std::vector<CacheEntry>, bool, std::optional<QDateTime>, QString>> lines{
        {{}, false, std::nullopt, "Nothing downloaded yet"},
        {{entry("seed", "")}, false, std::nullopt, "The built-in clip only"},
        {{entry("seed", "")}, true, std::nullopt, "The built-in clip only on disk. Offline: not updating."},
        {all, false, std::nullopt, "14 products, current to " + newest},
        {all, true, std::nullopt, "14 products on disk. Offline: not updating."},
        {all, false, next,
         "14 products, current to " + newest + ". Checked within the hour; the next check can run at " +
             nextTime + "."},
    };
    for (const auto& [entries, offline, refused, line] : lines)
        EXPECT_EQ(cacheStatusLine(entries, offline, refused), line);

    EXPECT_EQ(armNote(Mode::wall, 7.9),
              "Arm hides this window, then starts the wall after 7 minutes without input.");
    EXPECT_EQ(armNote(Mode::kiosk, 5),
              "Arm hides this window, then starts the kiosk after 5 minutes without input.");
    EXPECT_EQ(armNote(Mode::saver, 5), "Arm hides this window. Screen Saver already waits on its own.");
    EXPECT_EQ(armNote(Mode::desktop, 5),
              "Arm hides this window and leaves Solvane running; the picture keeps updating.");

    const QString kept = "Your settings and downloaded imagery are kept.";
    EXPECT_EQ(deactivateText(false, false, false), kept);
    EXPECT_EQ(
        deactivateText(true, true, true),
        kept +
            "\nYour previous desktop picture comes back.\nIt stops opening at login.\nA screen saver added "
            "to XScreenSaver stays there; remove it in XScreenSaver.");
    EXPECT_EQ(deactivateText(false, true, false), kept + "\nIt stops opening at login.");
}

TEST_F(WindowsTest, ScreenGridTicksInPlayOrderOffAllAndShuffle) {
    Settings::setProducts({"rainbow", "171", "dem"});
    preferences->open();
    ScreenGrid* grid = preferences->controls().screensGrid;
    ASSERT_EQ(grid->rows(), 2);
    EXPECT_EQ(grid->lists()[1], QStringList{"171"});

    // Ticking 304 then 171 on screen 0 (after clearing it) plays them in that order.
    pick(grid, 0, "All products (cycle)");
    pick(grid, 0, "304");
    pick(grid, 0, "171");
    EXPECT_EQ(Settings::products(), (QStringList{"304,171", "171", "dem"}));
    EXPECT_EQ(Settings::productList(0), (QStringList{"304", "171"}));
    EXPECT_EQ(grid->popup(0)->toolTip(), QString::fromUtf8("AIA 304 \u00C5, AIA 171 \u00C5"));
    // Ticking products keeps them; only choosing a mode is the consent to change the desktop.
    EXPECT_FALSE(Settings::configured());
    // Each row names its screen by output and size; the temperature map says what it needs.
    EXPECT_EQ(grid->popup(1)->accessibleName(), "Products on RIGHT, 1280x720");
    QStringList items;
    for (QAction* action : grid->popup(0)->menu()->actions())
        items << action->text();
    EXPECT_TRUE(items.contains("Rainbow")) << items.join(", ").toStdString();
    EXPECT_TRUE(items.contains("Temperature map (DEM) (needs an imagery mirror)"))
        << items.join(", ").toStdString();
    Settings::setImageryHost("mirror.example");
    preferences->rebuildScreens();
    EXPECT_EQ(grid->popup(0)->menu()->actions().back()->text(), "Off: leave this screen alone");
    bool plain = false;
    for (QAction* action : grid->popup(0)->menu()->actions())
        plain = plain || action->text() == "Temperature map (DEM)";
    EXPECT_TRUE(plain);
    Settings::setImageryHost(QString());

    // The shuffle button swaps two.
    grid->shuffleButton(0)->click();
    EXPECT_EQ(Settings::productList(0), (QStringList{"171", "304"}));

    // Off, then a tick, leaves only that product.
    pick(grid, 1, "Off: leave this screen alone");
    EXPECT_FALSE(Settings::isEnabled(1));
    EXPECT_EQ(grid->popup(1)->toolTip(), "Off");
    pick(grid, 1, "193");
    EXPECT_EQ(Settings::productList(1), QStringList{"193"});
    // The pull-down ticks what the list holds.
    for (QAction* action : grid->popup(1)->menu()->actions())
        if (action->isCheckable()) {
            EXPECT_EQ(action->isChecked(), action->data().toString() == "193");
        }

    // A new screen list rebuilds the grid from the stored entries.
    preferences->rebuildScreens();
    EXPECT_EQ(grid->lists()[0], (QStringList{"171", "304"}));
}

TEST_F(WindowsTest, EveryControlWritesItsSettingAndAReloadShowsIt) {
    Settings::setMode(Mode::desktop);
    preferences->open();
    const Preferences::Controls& c = preferences->controls();
    c.idle->setValue(12);
    c.loops->setValue(4);
    c.shuffleBox->setChecked(true);
    c.attributionBox->setChecked(true);
    c.captionUTCBox->setChecked(true);
    c.frameClockBox->setChecked(false);
    c.offlineRadio->setChecked(true);
    c.refreshPopup->setCurrentIndex(c.refreshPopup->findData(720));
    c.transitionPopup->setCurrentIndex(c.transitionPopup->findData("wipe"));
    c.lookPopup->setCurrentIndex(c.lookPopup->findData("running"));
    c.lagPopup->setCurrentIndex(c.lagPopup->findData(3));
    c.statusIconBox->setChecked(true);
    EXPECT_FALSE(c.flareNoticeBox->isChecked()); // off until chosen
    EXPECT_EQ(c.spaceWeather->flareClass()->currentData().toString(), "M5");
    EXPECT_FALSE(c.spaceWeather->stormBox()->isChecked());
    c.flareNoticeBox->setChecked(true);
    c.spaceWeather->flareClass()->setCurrentIndex(c.spaceWeather->flareClass()->findData("M1"));
    c.spaceWeather->stormBox()->setChecked(true);
    c.spaceWeather->stormLevel()->setCurrentIndex(c.spaceWeather->stormLevel()->findData(3));
    EXPECT_TRUE(c.followBox->isChecked() && !c.meteredBox->isChecked() && !c.sharperBox->isChecked());
    c.followBox->setChecked(false);
    c.meteredBox->setChecked(true);
    c.sharperBox->setChecked(true);
    c.liveBox->setChecked(true);
    c.batteryBox->setChecked(false);
    c.lockScreenBox->setChecked(true);
    c.loginBox->setChecked(true);
    preferences->chooseMode(Mode::saver);
    c.lockBox->setChecked(false);
    c.desktopBox->setChecked(true);
    c.installButton->click();
    EXPECT_EQ(c.installNote->text(), "Installed; choose Solvane in XScreenSaver's settings.");

    EXPECT_EQ(Settings::idleMinutes(), 12);
    EXPECT_EQ(Settings::loops(), 4);
    EXPECT_TRUE(Settings::shuffle());
    EXPECT_TRUE(Settings::attribution());
    EXPECT_TRUE(Settings::captionUTC());
    EXPECT_FALSE(Settings::frameClock());
    EXPECT_TRUE(Settings::offline());
    EXPECT_EQ(Settings::refreshMinutes(), 720);
    EXPECT_EQ(Settings::transition(), Transition::wipe);
    EXPECT_EQ(Settings::look(), Look::running);
    EXPECT_EQ(Settings::runningLagSlots(), 3);
    EXPECT_TRUE(Settings::liveStatusIcon());
    EXPECT_TRUE(Settings::notifyFlares());
    EXPECT_EQ(Settings::flareNoticeClass(), "M1");
    EXPECT_EQ(Settings::notifyStorms(), 3);
    EXPECT_FALSE(Settings::followNasa());
    EXPECT_TRUE(Settings::useMeteredNetwork() && Settings::sharperClips());
    EXPECT_TRUE(Settings::liveDesktop());
    EXPECT_FALSE(Settings::pauseOnBattery());
    EXPECT_TRUE(Settings::sunOnLockScreen());
    EXPECT_EQ(calls["lock screen"], 1);
    EXPECT_TRUE(Settings::openAtLogin());
    EXPECT_EQ(Settings::mode(), Mode::saver);
    EXPECT_FALSE(Settings::lockOnDismiss());
    EXPECT_TRUE(Settings::desktop());
    EXPECT_TRUE(Settings::configured());
    EXPECT_EQ(calls["status"], 1);
    EXPECT_GE(calls["sync"], 2);  // the live box and the mode change
    EXPECT_EQ(calls["apply"], 1); // the desktop box

    // A fresh window reads every value back.
    Preferences again(*app);
    again.load();
    const Preferences::Controls& d = again.controls();
    EXPECT_EQ(d.idle->value(), 12);
    EXPECT_EQ(d.loops->value(), 4);
    EXPECT_TRUE(d.shuffleBox->isChecked() && d.attributionBox->isChecked() && d.captionUTCBox->isChecked());
    EXPECT_FALSE(d.frameClockBox->isChecked());
    EXPECT_TRUE(d.offlineRadio->isChecked() && !d.onlineRadio->isChecked());
    EXPECT_EQ(d.refreshPopup->currentData().toInt(), 720);
    EXPECT_EQ(d.transitionPopup->currentData().toString(), "wipe");
    EXPECT_EQ(d.lookPopup->currentData().toString(), "running");
    EXPECT_EQ(d.lagPopup->currentData().toInt(), 3);
    EXPECT_TRUE(d.statusIconBox->isChecked() && d.liveBox->isChecked() && d.loginBox->isChecked());
    EXPECT_TRUE(d.flareNoticeBox->isChecked() && d.lockScreenBox->isChecked());
    EXPECT_TRUE(!d.followBox->isChecked() && d.meteredBox->isChecked() && d.sharperBox->isChecked());
    EXPECT_EQ(d.spaceWeather->flareClass()->currentData().toString(), "M1");
    EXPECT_EQ(d.spaceWeather->stormLevel()->currentData().toInt(), 3);
    EXPECT_FALSE(d.batteryBox->isChecked() || d.lockBox->isChecked());
    EXPECT_TRUE(d.desktopBox->isChecked());
    EXPECT_EQ(d.mode->checkedId(), Modes::segment(Mode::saver));
    EXPECT_EQ(d.cacheStatus->text(), "Nothing downloaded yet");
}

TEST_F(WindowsTest, ApplyModeSetsTextsAndEnablesWhatApplies) {
    Settings::setIdleMinutes(9);
    preferences->open();
    const Preferences::Controls& c = preferences->controls();
    // Before a mode is chosen none shows as chosen, and there is nothing to start or arm.
    EXPECT_EQ(c.mode->checkedId(), -1);
    EXPECT_FALSE(c.startButton->isEnabled() || c.armButton->isEnabled());
    EXPECT_TRUE(c.modeHelp->text().startsWith("No mode chosen yet.")) << c.modeHelp->text().toStdString();
    struct Expect {
        Mode mode;
        QString armNote;
        bool idle, lock, live, desktopBox, preset;
    };
    const std::vector<Expect> table{
        {Mode::wall, "Arm hides this window, then starts the wall after 9 minutes without input.", true,
         false, false, true, false},
        {Mode::saver, "Arm hides this window. Screen Saver already waits on its own.", true, true, false,
         true, false},
        {Mode::desktop, "Arm hides this window and leaves Solvane running; the picture keeps updating.",
         false, false, true, false, false},
        {Mode::kiosk, "Arm hides this window, then starts the kiosk after 9 minutes without input.", true,
         false, false, true, true},
    };
    for (const Expect& expect : table) {
        const std::string name = Modes::rawValue(expect.mode).toStdString();
        preferences->chooseMode(expect.mode);
        EXPECT_EQ(c.modeHelp->text(), Modes::helpLine(expect.mode)) << name;
        EXPECT_EQ(c.startButton->text(), Modes::startTitle(expect.mode)) << name;
        EXPECT_EQ(c.armButton->toolTip(), Modes::armToolTip(expect.mode)) << name;
        EXPECT_EQ(c.armNote->text(), expect.armNote) << name;
        EXPECT_EQ(c.idleRow->isEnabled(), expect.idle) << name;
        EXPECT_EQ(c.lockBox->isEnabled(), expect.lock) << name;
        EXPECT_EQ(c.liveBox->isEnabled(), expect.live) << name;
        EXPECT_EQ(c.desktopBox->isEnabled(), expect.desktopBox) << name;
        // Desktop mode keeps the picture current: its box says so.
        EXPECT_EQ(c.desktopBox->isChecked(), expect.mode == Mode::desktop) << name;
        EXPECT_TRUE(c.startButton->isEnabled()) << name;
        EXPECT_EQ(c.presetNote->isVisibleTo(preferences->window()), expect.preset) << name;
        EXPECT_EQ(c.presetNote->text(), Modes::presetNote(expect.mode)) << name;
    }
}

TEST_F(WindowsTest, ModeChangesMoveTheDesktopPictureAndTheKioskPreset) {
    Settings::setMode(Mode::wall);
    preferences->open();
    preferences->chooseMode(Mode::desktop);
    EXPECT_EQ(calls["apply"], 1);
    EXPECT_GE(calls["sync"], 1);
    preferences->chooseMode(Mode::wall);
    EXPECT_EQ(calls["restore"], 1);

    // Kiosk with products missing from the cache: the preset, then the full download with progress.
    bool primed = false;
    QObject::connect(preferences.get(), &Preferences::primed, [&primed] { primed = true; });
    preferences->chooseMode(Mode::kiosk);
    EXPECT_TRUE(Settings::offline());
    EXPECT_TRUE(Settings::attribution());
    EXPECT_TRUE(login->enabled);
    EXPECT_TRUE(preferences->priming());
    // Progress in products, of those NASA SDO gives directly.
    EXPECT_EQ(preferences->controls().primeNote->text(), "0 of 13 products");
    ASSERT_TRUE(waitFor([&] { return primed; }));
    EXPECT_EQ(fullChecks, 1);
    EXPECT_FALSE(preferences->priming());
    EXPECT_EQ(preferences->controls().busy->value(), 12);
    EXPECT_TRUE(preferences->controls().primeButton->isEnabled());
    EXPECT_EQ(calls["restore"], 1); // wall to kiosk leaves the pictures alone

    // A kiosk's preset is offline, and its download stays available; elsewhere offline means no download.
    EXPECT_TRUE(preferences->controls().primeButton->isEnabled());
    preferences->chooseMode(Mode::saver);
    EXPECT_FALSE(Settings::offline());
    EXPECT_FALSE(Settings::d().has(Settings::Key::attribution));
    preferences->controls().offlineRadio->click();
    EXPECT_FALSE(preferences->controls().primeButton->isEnabled());
    EXPECT_EQ(preferences->controls().primeNote->text(),
              "Offline is on: choose Keep imagery updated to download.");
    preferences->controls().onlineRadio->click();
    EXPECT_TRUE(preferences->controls().primeButton->isEnabled());

    // A refused check says when the next may run.
    writeFile(Cache::file("seed.mp4"), "clip");
    writeFile(Cache::file("manifest.json"), R"([{"id": "seed", "video": "seed.mp4", "updated": ""}])");
    refused = QDateTime::currentDateTime().addSecs(600);
    primed = false;
    preferences->controls().primeButton->click();
    ASSERT_TRUE(waitFor([&] { return primed; }));
    EXPECT_TRUE(preferences->controls().cacheStatus->text().startsWith(
        "The built-in clip only. Checked within the hour; the next check can run at "));
}

TEST_F(WindowsTest, TurnOffAndQuitAsksThenRestoresAndUnregisters) {
    Settings::setMode(Mode::desktop);
    Settings::setOpenAtLogin(true);
    Settings::setPreviousDesktop(QStringList{"file:///pictures/mine.png"});
    preferences->open();

    confirmAnswer = false;
    preferences->controls().quitButton->click();
    EXPECT_EQ(alertTitle, "Turn Solvane off and quit?");
    EXPECT_EQ(alertText, deactivateText(true, true, true));
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(login->enabled);
    EXPECT_EQ(calls["restore"], 0);

    confirmAnswer = true;
    CapturedLog captured;
    preferences->controls().quitButton->click();
    EXPECT_TRUE(captured.finish().contains("solvane: deactivated and quit at the user's request"));
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(login->enabled);
    EXPECT_FALSE(Settings::desktop());
    EXPECT_EQ(calls["restore"], 1);
}

TEST_F(WindowsTest, LoginBoxShowsTheItemsRealState) {
    login->failure = "no autostart folder";
    preferences->open();
    CapturedLog captured;
    preferences->controls().loginBox->click();
    EXPECT_FALSE(preferences->controls().loginBox->isChecked());
    EXPECT_TRUE(captured.finish().contains("login item: no autostart folder"));
}

TEST_F(WindowsTest, EveryControlIsReachableWithTabAndNamed) {
    Settings::setMode(Mode::desktop);
    Settings::setLiveDesktop(true);
    preferences->open();
    QWidget* window = preferences->window();
    std::set<QWidget*> reachable;
    QWidget* widget = window;
    for (int i = 0; i < 1000; ++i) {
        widget = widget->nextInFocusChain();
        if (widget == window) break;
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(window) && widget->isEnabled())
            reachable.insert(widget);
    }
    int controls = 0;
    for (QWidget* control : window->findChildren<QWidget*>()) {
        const bool interactive = qobject_cast<QAbstractButton*>(control) ||
                                 qobject_cast<QComboBox*>(control) ||
                                 qobject_cast<QAbstractSpinBox*>(control);
        if (!interactive || !control->isVisibleTo(window) || !control->isEnabled()) continue;
        ++controls;
        const QString name = QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
        EXPECT_TRUE(reachable.count(control))
            << control->metaObject()->className() << " " << name.toStdString();
        EXPECT_FALSE(name.isEmpty()) << control->metaObject()->className();
    }
    EXPECT_GT(controls, 25);

    // The window follows the appearance setting.
    Settings::d().set(Settings::Key::appearance, "dark");
    preferences->open();
    EXPECT_LT(window->palette().color(QPalette::Window).lightness(), 100);
    Settings::d().set(Settings::Key::appearance, "light");
    preferences->open();
    EXPECT_GT(window->palette().color(QPalette::Window).lightness(), 200);
}

TEST_F(WindowsTest, SavingResyncsTheLiveDesktopAndTheStartingCardSaysWhenNothingStartsAlone) {
    preferences->open();
    ScreenGrid* grid = preferences->controls().screensGrid;
    const int before = calls["sync"];
    pick(grid, 1, "Off: leave this screen alone");
    EXPECT_EQ(calls["sync"], before + 1) << "a screen turned Off leaves the live desktop at once";
    pick(grid, 0, "304");
    EXPECT_EQ(calls["sync"], before + 2);
    EXPECT_FALSE(preferences->controls().idleNote->isVisibleTo(preferences->window()));

    // A desktop that tells no idle time.
    App::Environment blind;
    blind.idle = std::make_shared<NoIdleTime>();
    blind.wallEnvironment = [] { return wallEnvironment(); };
    App unaware(blind);
    Preferences::Environment env;
    env.stop = [] {};
    Preferences other(unaware, env);
    other.open();
    const QLabel* note = other.controls().idleNote;
    EXPECT_TRUE(note->isVisibleTo(other.window()));
    EXPECT_TRUE(note->text().contains("never start on their own")) << note->text().toStdString();
    other.hide();
}

TEST_F(WindowsTest, ClosingNeverWaitsForADownload) {
    for (const bool full : {true, false}) {
        std::atomic<bool> stopAsked{false};
        std::atomic<bool> started{false};
        Preferences::Environment env;
        // A pass that, like the real one, only ends early at a safe point once asked to stop.
        env.refreshNow = [&](bool, const Cache::Progress&) {
            started = true;
            QDeadlineTimer deadline(10000);
            while (!stopAsked && !deadline.hasExpired())
                QThread::msleep(10);
            return std::optional<QDateTime>();
        };
        env.stop = [&] { stopAsked = true; };
        auto busy = std::make_unique<Preferences>(*app, env);
        if (full)
            busy->prime(); // "Download all imagery now"
        else
            busy->updateDesktopNow(); // "Update now"
        ASSERT_TRUE(waitFor([&] { return started.load(); }));
        QElapsedTimer closing;
        closing.start();
        busy.reset();
        EXPECT_LT(closing.elapsed(), 2000) << (full ? "prime" : "update now");
        EXPECT_TRUE(stopAsked);
    }
}

// The Imagery card says where the imagery comes from and why it is old; the direct source is saved at
// once, a typed mirror only once its index has answered, judged off the GUI thread.
TEST_F(WindowsTest, ImagerySourceAndItsStatus) {
    Settings::setImageryHost(QString());
    writeFile(dir.filePath("cache/seed.mp4"), QByteArray("\0\0\0\x18"
                                                         "ftypisom",
                                                         12) +
                                                  QByteArray(64, '\0'));
    writeFile(dir.filePath("cache/manifest.json"),
              R"([{"id":"193","label":"AIA 193 Å","updated":"2013-06-24T17:31:30Z","video":"seed.mp4"}])");
    Cache::LastPass unreached;
    unreached.finished = "2026-12-08T19:00:00Z";
    unreached.host = "sdo.gsfc.nasa.gov (direct)";
    unreached.reached = false;
    unreached.reason = "Could not resolve host: sdo.gsfc.nasa.gov";
    Cache::recordPass(unreached);
    preferences->open();
    const auto& c = preferences->controls();
    EXPECT_TRUE(c.directRadio->isChecked());
    EXPECT_FALSE(c.mirrorHost->isEnabled());
    // The transfer library's words become a plain cause; Try Again asks at once.
    EXPECT_EQ(c.cacheStatus->text(), "The built-in clip only, current to " +
                                         WallView::pretty(QString("2013-06-24T17:31:30Z")) +
                                         "\nCan't reach NASA SDO (the host name could not be found). "
                                         "Showing the built-in clip from 24 Jun 2013.");
    ASSERT_TRUE(c.tryAgain->isVisibleTo(preferences->window()));
    app->next = QDateTime::currentDateTime().addSecs(1200);
    c.tryAgain->click();
    EXPECT_EQ(calls["try again"], 1);
    EXPECT_TRUE(c.cacheStatus->text().contains("(the host name could not be found). Trying again at " +
                                               QLocale().toString(app->next->time(), QLocale::ShortFormat) +
                                               ". Showing"))
        << c.cacheStatus->text().toStdString();

    c.mirrorRadio->click();
    EXPECT_TRUE(c.mirrorHost->isEnabled());
    EXPECT_EQ(Settings::imageryHost(), QString()) << "nothing is saved before the check";
    struct Case {
        const char* typed;
        QString saved, note;
    };
    const Case cases[] = {
        {"bad.example", "", "bad.example is not a mirror."},
        {" https://good.example/ ", "good.example", "good.example answers with 12 products. Saved."},
    };
    for (const Case& k : cases) {
        c.mirrorHost->setText(k.typed);
        int checked = 0;
        auto connection =
            QObject::connect(preferences.get(), &Preferences::mirrorChecked, [&] { ++checked; });
        c.mirrorUse->click();
        EXPECT_FALSE(c.mirrorUse->isEnabled()) << "one check at a time";
        ASSERT_TRUE(waitFor([&] { return checked == 1; })) << k.typed;
        QObject::disconnect(connection);
        EXPECT_EQ(Settings::imageryHost(), k.saved) << k.typed;
        EXPECT_EQ(c.sourceNote->text(), k.note);
        EXPECT_TRUE(c.mirrorUse->isEnabled());
    }
    EXPECT_EQ(c.mirrorHost->text(), "good.example");
    EXPECT_TRUE(mirrorChecksOffThread);

    c.directRadio->click();
    EXPECT_EQ(Settings::imageryHost(), QString());
    // What the chosen products cost, and a metered network said where the status is.
    Settings::setProducts({"171"});
    CacheSettings::setNetworkMetered(true);
    preferences->open();
    EXPECT_EQ(c.costNote->text(), "About 18 MB a day to download and 30 MB on disk for the chosen products.");
    EXPECT_TRUE(
        c.cacheStatus->text().endsWith("On a metered network: new images wait until Settings allows them."))
        << c.cacheStatus->text().toStdString();
    EXPECT_TRUE(c.followBox->isEnabled());
    CacheSettings::setNetworkMetered(false);
    Settings::setImageryHost("mirror.example.org");
    preferences->open();
    EXPECT_TRUE(c.mirrorRadio->isChecked());
    EXPECT_EQ(c.mirrorHost->text(), "mirror.example.org");
    EXPECT_FALSE(c.followBox->isEnabled()) << "a mirror keeps its own cadence";
}

// On a 1280 x 720 screen the whole window fits (and stays under 650 points), the bottom row stays in
// view, the page is one scroll area, the wrapped cache line is never cut, the Start button is named by its
// text, and Tab walks the controls in reading order.
TEST_F(WindowsTest, TheWindowFitsA720PixelScreenAndTabsInReadingOrder) {
    Settings::setMode(Mode::wall);
    Settings::setConfigured(true);
    preferences->open();
    QWidget* window = preferences->window();
    const auto& c = preferences->controls();
    ASSERT_LE(window->screen()->availableGeometry().height(), 720);
    EXPECT_LE(window->height(), window->screen()->availableGeometry().height());
    EXPECT_LE(window->height(), 650);
    EXPECT_EQ(window->findChildren<QScrollArea*>().size(), 1);
    auto* page = window->findChild<QScrollArea*>("cards")->widget();
    for (QWidget* card :
         std::initializer_list<QWidget*>{c.modeHelp, c.screensHint, c.desktopNote, c.sourceNote})
        EXPECT_TRUE(page->isAncestorOf(card)) << card->accessibleName().toStdString();
    EXPECT_LE(window->width(), window->screen()->availableGeometry().width());
    for (QWidget* bottom :
         std::initializer_list<QWidget*>{c.startButton, c.armButton, c.quitButton, c.versionLabel}) {
        const QRect inWindow(bottom->mapTo(window, QPoint(0, 0)), bottom->size());
        EXPECT_TRUE(window->rect().contains(inWindow)) << bottom->accessibleName().toStdString();
    }
    EXPECT_GE(c.cacheStatus->height(), c.cacheStatus->heightForWidth(c.cacheStatus->width()));
    EXPECT_EQ(c.startButton->accessibleName(), c.startButton->text());
    EXPECT_EQ(c.startButton->text(), Modes::startTitle(Mode::wall));

    // Reading order: the mode, the left column, the right column, the bottom row, each top to bottom.
    QWidget* modeCard = c.modeHelp->parentWidget();
    const int columnsTop = modeCard->mapTo(page, QPoint(0, modeCard->height())).y();
    auto section = [&](QWidget* widget) {
        if (!page->isAncestorOf(widget)) return 3;
        const QPoint at = widget->mapTo(page, QPoint(0, 0));
        return at.y() < columnsTop ? 0 : at.x() < page->width() / 2 ? 1 : 2;
    };
    QWidget* widget = window;
    std::vector<std::pair<int, int>> walked;
    QStringList names;
    for (int i = 0; i < 1000; ++i) {
        widget = widget->nextInFocusChain();
        if (widget == window) break;
        if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisibleTo(window) || !widget->isEnabled() ||
            qobject_cast<QScrollArea*>(widget) || qobject_cast<QScrollBar*>(widget))
            continue;
        walked.emplace_back(section(widget), widget->mapTo(window, QPoint(0, widget->height() / 2)).y());
        names << QString(widget->metaObject()->className()) + " " + widget->accessibleName();
    }
    ASSERT_GT(walked.size(), 20u);
    for (size_t i = 1; i < walked.size(); ++i) {
        EXPECT_LE(walked[i - 1].first, walked[i].first)
            << names.mid(int(i) - 1, 2).join(" then ").toStdString();
        if (walked[i - 1].first == walked[i].first) {
            EXPECT_LE(walked[i - 1].second, walked[i].second + 8)
                << names.mid(int(i) - 1, 2).join(" then ").toStdString();
        }
    }
}

// Ticking several products on a screen is one visit to its pull-down: product items keep it open.
TEST_F(WindowsTest, TheProductChooserStaysOpenWhileTicking) {
    preferences->open();
    auto* grid = preferences->controls().screensGrid;
    const QStringList before = grid->lists()[0];
    QMenu* menu = grid->popup(0)->menu();
    menu->popup(QPoint(100, 100));
    ASSERT_TRUE(waitFor([&] { return menu->isVisible(); }));
    for (const char* id : {"304", "171"}) {
        QAction* item = nullptr;
        for (QAction* action : menu->actions())
            if (action->data().toString() == id) item = action;
        ASSERT_TRUE(item);
        const QPoint at = menu->actionGeometry(item).center();
        // The pointer travels to the item first: Qt 6.8 takes a press as one outside the menu until the
        // pointer has moved in it since it opened.
        for (int step = 8; step > 0; --step) {
            const QPoint on = at - QPoint(step, 0);
            QMouseEvent move(QEvent::MouseMove, on, menu->mapToGlobal(on), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(menu, &move);
        }
        QMouseEvent press(QEvent::MouseButtonPress, at, menu->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, menu->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(menu, &press);
        QApplication::sendEvent(menu, &release);
        EXPECT_TRUE(menu->isVisible()) << id;
        EXPECT_TRUE(item->isChecked()) << id;
    }
    EXPECT_EQ(grid->lists()[0], before + QStringList({"304", "171"}));
    menu->hide();
}

// Opening stops the controller waiting; Start asks it to show and leaves once something shows; Arm leaves
// and has it wait.
TEST_F(WindowsTest, StartAndArmAskTheController) {
    Settings::setMode(Mode::wall);
    Settings::setConfigured(true);
    app->canShow = false; // no screen to show on: the window stays
    preferences->open();
    EXPECT_EQ(calls["disarm"], 1);
    QPushButton* start = preferences->controls().startButton;
    start->click();
    EXPECT_EQ(calls["show"], 1);
    EXPECT_TRUE(preferences->window()->isVisible());
    app->canShow = true;
    start->click();
    EXPECT_TRUE(app->showing());
    EXPECT_FALSE(preferences->window()->isVisible());

    app->hide();
    preferences->open();
    EXPECT_EQ(calls["disarm"], 2);
    preferences->controls().armButton->click();
    EXPECT_EQ(calls["arm"], 1);
    EXPECT_TRUE(app->armedWaiting());
    EXPECT_FALSE(preferences->window()->isVisible());
}
