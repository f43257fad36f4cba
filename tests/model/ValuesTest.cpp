// Modes, transitions, looks, screen choices, setting keys and the settings' pure rules.

#include "Settings.h"

#include <gtest/gtest.h>

namespace {
QSet<QString> set(std::initializer_list<const char*> ids) {
    QSet<QString> result;
    for (const char* id : ids)
        result.insert(QString::fromLatin1(id));
    return result;
}
} // namespace

TEST(SettingsKey, ThirtyFourKeysInOrderWithTheirNames) {
    const QStringList expected{"mode",
                               "products",
                               "idleMinutes",
                               "lockOnDismiss",
                               "offline",
                               "refreshMinutes",
                               "lastCheck",
                               "lastManual",
                               "storeHost",
                               "imageryHost",
                               "attribution",
                               "shuffle",
                               "loops",
                               "transition",
                               "desktop",
                               "desktopCounter",
                               "previousDesktop",
                               "configured",
                               "offlineBeforeKiosk",
                               "wallHintShown",
                               "cacheHome",
                               "appearance",
                               "installUpdatesNow",
                               "checkUpdatesNow",
                               "updateFeed",
                               "captionUTC",
                               "frameClock",
                               "infoEvery",
                               "look",
                               "runningLagSlots",
                               "liveDesktop",
                               "pauseOnBattery",
                               "liveStatusIcon",
                               "migratedFromCorvane",
                               "notifyFlares",
                               "announcedFlares",
                               "sunOnLockScreen",
                               "previousLockScreen",
                               "flareNoticeClass",
                               "notifyStorms",
                               "announcedStorms",
                               "spaceWeatherBadge",
                               "followNasa",
                               "useMeteredNetwork",
                               "sharperClips"};
    ASSERT_EQ(Settings::allKeys().size(), size_t(expected.size()));
    for (int i = 0; i < Settings::keyCount; ++i) {
        const Settings::Key key = Settings::allKeys()[size_t(i)];
        EXPECT_EQ(int(key), i);
        EXPECT_EQ(Settings::rawValue(key), expected[i]);
        EXPECT_EQ(Settings::keyFromRawValue(expected[i]), key);
    }
    for (const char* other : {"", "Mode", "mode ", "lastcheck", "secondsIdle", "openAtLogin"})
        EXPECT_FALSE(Settings::keyFromRawValue(QString::fromLatin1(other))) << other;
}

TEST(ModeValues, RawValuesSegmentsAndTexts) {
    EXPECT_EQ(Modes::fromRawValue("kiosk"), Mode::kiosk);
    EXPECT_FALSE(Modes::fromRawValue("Kiosk"));
    EXPECT_FALSE(Modes::fromRawValue(""));
    for (Mode mode : Modes::allCases) {
        EXPECT_EQ(Modes::fromRawValue(Modes::rawValue(mode)), mode);
        EXPECT_EQ(Modes::atSegment(Modes::segment(mode)), mode);
        EXPECT_FALSE(Modes::helpLine(mode).isEmpty());
    }
    EXPECT_EQ(Modes::segment(Mode::desktop), 0);
    EXPECT_EQ(Modes::segmentTitle(Mode::saver), "Screen Saver");
    EXPECT_EQ(Modes::segment(Mode::kiosk), 3);
    EXPECT_FALSE(Modes::atSegment(4));
    EXPECT_EQ(Modes::startTitle(Mode::desktop), "Update Desktop Now");
    EXPECT_EQ(Modes::startTitle(Mode::saver), "Start Now");
    EXPECT_EQ(Modes::helpLine(Mode::kiosk),
              "Starts at login and stays up. Offline, with all imagery downloaded "
              "first. Exit a running kiosk with Ctrl-Alt-Super-Q.");
    EXPECT_EQ(Modes::armToolTip(Mode::wall),
              "Hide this window and wait for the idle timer below, then start the wall on its own.");
    EXPECT_EQ(Modes::presetNote(Mode::kiosk),
              "Kiosk mode turned these on, along with Offline below. Leaving Kiosk puts them back.");
    for (Mode mode : {Mode::wall, Mode::saver, Mode::desktop})
        EXPECT_TRUE(Modes::presetNote(mode).isEmpty());
}

TEST(TransitionValues, LabelsAndKeepsInstant) {
    const std::vector<std::tuple<Transition, const char*, const char*, bool>> table{
        {Transition::blink, "blink", "Blink", false},
        {Transition::crossfade, "crossfade", "Crossfade", true},
        {Transition::black, "black", "Fade through black", false},
        {Transition::circle, "circle", "Circular reveal", true},
        {Transition::wipe, "wipe", "Wipe", true}};
    ASSERT_EQ(Transitions::allCases.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& [transition, raw, label, keeps] = table[i];
        EXPECT_EQ(Transitions::allCases[i], transition);
        EXPECT_EQ(Transitions::rawValue(transition), raw);
        EXPECT_EQ(Transitions::fromRawValue(raw), transition);
        EXPECT_EQ(Transitions::label(transition), label);
        EXPECT_EQ(Transitions::keepsInstant(transition), keeps);
    }
    EXPECT_FALSE(Transitions::fromRawValue("fade"));
}

TEST(TransitionValues, EffectiveTransition) {
    using Transitions::effective;
    EXPECT_EQ(effective(Transition::blink, true, false), Transition::crossfade);
    EXPECT_EQ(effective(Transition::blink, false, false), Transition::blink);
    EXPECT_EQ(effective(Transition::wipe, false, true), Transition::crossfade);
    EXPECT_EQ(effective(Transition::circle, true, true), Transition::crossfade);
    EXPECT_EQ(effective(Transition::black, false, true), Transition::black);
    EXPECT_EQ(effective(Transition::blink, false, true), Transition::blink);
    EXPECT_EQ(effective(Transition::circle, true, false), Transition::circle);
}

TEST(LookValues, RawValuesAndLabels) {
    EXPECT_EQ(Looks::fromRawValue("running"), Look::running);
    EXPECT_FALSE(Looks::fromRawValue("Running"));
    EXPECT_EQ(Looks::label(Look::base), "Base difference");
    for (Look look : Looks::allCases)
        EXPECT_EQ(Looks::fromRawValue(Looks::rawValue(look)), look);
}

TEST(ScreenChoiceCoding, ParsesEveryShapeOfEntry) {
    EXPECT_EQ(ScreenChoice::parse("off"), ScreenChoice::off());
    EXPECT_EQ(ScreenChoice::parse("off").entry(), "off");
    EXPECT_EQ(ScreenChoice::parse(""), ScreenChoice::all());
    EXPECT_TRUE(ScreenChoice::parse("").ids().isEmpty());
    EXPECT_EQ(ScreenChoice::parse("all"), ScreenChoice::all());
    EXPECT_EQ(ScreenChoice::parse(",,"), ScreenChoice::all());
    EXPECT_EQ(ScreenChoice::parse("all,off"), ScreenChoice::all());
    EXPECT_EQ(ScreenChoice::parse("171,all,304").ids(), QStringList({"171", "304"}));
    EXPECT_EQ(ScreenChoice::parse(",171,").ids(), QStringList({"171"}));
    EXPECT_EQ(ScreenChoice::parse("off,171").ids(), QStringList({"171"}));
    EXPECT_EQ(ScreenChoice::parse("171,171").ids(), QStringList({"171", "171"}));
    // Pieces keep their spaces, so " 171" is a product id of its own.
    EXPECT_EQ(ScreenChoice::parse(" 171").ids(), QStringList({" 171"}));
    EXPECT_EQ(ScreenChoice::parse("OFF").ids(), QStringList({"OFF"}));

    const ScreenChoice ordered = ScreenChoice::parse("304,171");
    EXPECT_TRUE(ordered.isList());
    EXPECT_EQ(ordered.ids(), QStringList({"304", "171"}));
    EXPECT_EQ(ordered.entry(), "304,171");
    EXPECT_NE(ordered, ScreenChoice::parse("171,304"));
    EXPECT_EQ(ScreenChoice::all().entry(), "");
}

TEST(ScreenChoiceCoding, ChoiceFromIds) {
    EXPECT_EQ(ScreenChoice(QStringList{}), ScreenChoice::all());
    EXPECT_EQ(ScreenChoice(QStringList{"off"}), ScreenChoice::off());
    EXPECT_EQ(ScreenChoice(QStringList{"171", "304"}).entry(), "171,304");
    EXPECT_EQ(ScreenChoice(QStringList{"all"}), ScreenChoice::all());
    // The ids are joined first, so an id holding a comma splits like the stored entry would.
    EXPECT_EQ(ScreenChoice(QStringList{"171,193"}).ids(), QStringList({"171", "193"}));
}

TEST(SettingsRules, ChoiceAndIdsOfAnEntry) {
    EXPECT_TRUE(Settings::choice("").isEmpty());
    EXPECT_EQ(Settings::choice("off"), QStringList({"off"}));
    EXPECT_EQ(Settings::choice("304,171"), QStringList({"304", "171"}));
    EXPECT_TRUE(Settings::ids("off").isEmpty());
    EXPECT_TRUE(Settings::ids("all").isEmpty());
    EXPECT_EQ(Settings::ids("171,193"), QStringList({"171", "193"}));
}

TEST(SettingsRules, ScreenChoiceRepeatsShortLists) {
    const QStringList two{"171", "off"};
    EXPECT_EQ(Settings::screenChoice(two, 3), ScreenChoice::off());
    EXPECT_EQ(Settings::screenChoice(two, 2).ids(), QStringList({"171"}));
    EXPECT_EQ(Settings::screenChoice({}, 3), ScreenChoice::all());
    EXPECT_EQ(Settings::screenChoice(Settings::defaultProducts(), 3).ids(), QStringList({"rainbow"}));
    EXPECT_EQ(Settings::screenChoice(two, -1), ScreenChoice::off());
}

TEST(SettingsRules, DownloadSet) {
    using Settings::inUse;
    EXPECT_EQ(inUse({"171", "304"}), set({"171", "304"}));
    EXPECT_EQ(inUse({"171,193", "304"}), set({"171", "193", "304"}));
    EXPECT_EQ(inUse({"off", "171"}), set({"171"}));
    EXPECT_EQ(inUse({"171", ""}), std::nullopt);
    EXPECT_EQ(inUse({"all"}), std::nullopt);
    EXPECT_EQ(inUse({}), std::nullopt);
    EXPECT_EQ(inUse({"off", "off"}), std::nullopt);
    // The first all wins even after lists.
    EXPECT_EQ(inUse({"171", "304", "all"}), std::nullopt);
}

TEST(SettingsRules, RefreshIntervalAndHostName) {
    EXPECT_EQ(Settings::refreshInterval(std::nullopt), 1440.0);
    EXPECT_EQ(Settings::refreshInterval(720.0), 720.0);
    EXPECT_EQ(Settings::refreshInterval(60.0), 1440.0);
    EXPECT_EQ(Settings::refreshInterval(719.0), 1440.0);
    EXPECT_EQ(Settings::refreshInterval(720.5), 1440.0);

    EXPECT_EQ(Settings::hostName("https://sun.example.org/"), "sun.example.org");
    EXPECT_EQ(Settings::hostName(" /sun.example.org// "), "sun.example.org");
    EXPECT_EQ(Settings::hostName("http://mirror.example/sdo/"), "mirror.example/sdo");
    EXPECT_EQ(Settings::hostName("https://http://a.example"), "a.example");
    // Only the exact lower-case scheme is removed.
    EXPECT_EQ(Settings::hostName("HTTPS://a.example"), "HTTPS://a.example");
    EXPECT_EQ(Settings::hostName(""), "");
    EXPECT_EQ(Settings::hostName(" / "), "");
}
