#include "PlainCause.h"
#include "StatusLine.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

TEST(TrayRules, StatusLineSaysWhatTheProgramDoes) {
    auto state = [](Mode mode, bool showing, bool armed, double idle, bool offline, bool configured = true,
                    std::optional<QDateTime> set = {}, QString failure = {}) {
        StatusState s;
        s.mode = mode;
        s.showing = showing;
        s.armedWaiting = armed;
        s.idleMinutes = idle;
        s.offline = offline;
        s.configured = configured;
        s.pictureSet = set;
        s.pictureFailure = failure;
        return s;
    };
    struct Case {
        StatusState state;
        const char* line;
    };
    const QDateTime set = QDateTime(QDate(2026, 12, 8), QTime(14, 2)); // local time
    const Case cases[] = {
        {state(Mode::wall, true, true, 5, false), "Wall: on screen"},
        {state(Mode::saver, false, true, 2.9, false), "Screen Saver: armed, starts after 2 min idle"},
        {state(Mode::kiosk, false, false, 5, true), "Kiosk: ready"},
        {state(Mode::wall, false, false, 5, false), "Wall: ready"},
        {state(Mode::saver, false, false, 2.9, false), "Screen Saver: starts after 2 min idle"},
        // Before a mode is chosen, the default mode is no one's choice.
        {state(Mode::desktop, false, false, 5, false, false), "No mode chosen yet"},
        {state(Mode::desktop, false, false, 5, true), "Desktop: picture fixed, not updating"},
        {state(Mode::desktop, false, false, 5, false), "Desktop: waiting for today's Sun"},
        {state(Mode::desktop, false, false, 5, false, true, set), "Desktop: picture set at 14:02"},
        {state(Mode::desktop, false, false, 5, false, true, {}, "no X display to draw on"),
         "Desktop: the picture could not be set"},
    };
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    for (const Case& c : cases)
        EXPECT_EQ(statusLine(c.state).toStdString(), c.line);
    QLocale::setDefault(QLocale::system());
}

// The transfer library's words, as the pass records them, become a few plain causes; the sentence
// carries the next try.
TEST(TrayRules, UnreachableSourcesAreSaidPlainly) {
    const std::pair<const char*, const char*> cases[] = {
        {"Failed to connect to 127.0.0.1 port 9 after 0 ms: Couldn't connect to server", "no connection"},
        {"Failed to connect to sdo.gsfc.nasa.gov port 443 after 3 ms: Network is unreachable",
         "no connection"},
        {"Could not resolve host: sdo.gsfc.nasa.gov", "the host name could not be found"},
        {"Resolving timed out after 20000 milliseconds", "timed out"},
        {"Operation too slow. Less than 1 bytes/sec transferred the last 20 seconds", "timed out"},
        {"Failed to connect to 10.0.0.1 port 443 after 20001 ms: Timeout was reached", "timed out"},
        {"SSL certificate problem: self-signed certificate", "a certificate problem"},
        {"SSL: no alternative certificate subject name matches target host name '127.0.0.1'",
         "a certificate problem"},
        {"the server answered with status 503", "the server said 503"},
        {"HTTP 404", "the server said 404"},
        {"The requested URL returned error: 502", "the server said 502"},
        {"Recv failure: Connection reset by peer", "the connection broke"},
        {"Empty reply from server", "the connection broke"},
        {"no usable product list", "no usable answer"},
        {"", "no usable answer"},
    };
    for (const auto& [reason, words] : cases)
        EXPECT_EQ(PlainCause::words(PlainCause::of(reason)).toStdString(), words) << reason;

    const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    const QDateTime retry = QDateTime(QDate(2026, 12, 8), QTime(14, 20));
    EXPECT_EQ(PlainCause::unreachable("NASA SDO", cases[0].first, retry, english),
              "Can't reach NASA SDO (no connection). Trying again at 14:20.");
    EXPECT_EQ(PlainCause::unreachable("mirror.example", "HTTP 500", std::nullopt, english),
              "Can't reach mirror.example (the server said 500).");

    // Only a finished pass that reached no source, online, says it (with a Try Again beside it).
    SourceStatus::State state;
    state.now = retry;
    EXPECT_FALSE(PlainCause::showsUnreachable(state));
    Cache::LastPass pass;
    pass.host = "sdo.gsfc.nasa.gov (direct)";
    pass.reached = false;
    pass.reason = cases[0].first;
    state.pass = pass;
    EXPECT_TRUE(PlainCause::showsUnreachable(state));
    EXPECT_EQ(PlainCause::imageryLine(state, std::nullopt), "Can't reach NASA SDO (no connection).");
    state.downloading = true;
    EXPECT_FALSE(PlainCause::showsUnreachable(state));
    state.downloading = false;
    state.offline = true;
    EXPECT_FALSE(PlainCause::showsUnreachable(state));
}

TEST(TrayRules, EachModeShowsItsOwnItems) {
    struct Case {
        Mode mode;
        bool desktopActive;
        const char* start; // nullptr: the title is left alone
        bool startShown, desktopShown, updateShown, shareShown;
    };
    const Case cases[] = {
        {Mode::wall, false, "Start Wall Now", true, false, true, true},
        {Mode::saver, true, "Start Screen Saver Now", true, true, true, true},
        {Mode::kiosk, false, "Start Kiosk Now", true, false, false, false},
        {Mode::desktop, true, nullptr, false, true, true, true},
    };
    // No mode chosen yet: nothing to start or update, whatever the stored default says.
    const MenuLook unchosen = menuLook(Mode::desktop, true, false);
    EXPECT_FALSE(unchosen.startVisible || unchosen.desktopVisible);
    EXPECT_TRUE(unchosen.updateVisible && unchosen.shareVisible);
    for (const Case& c : cases) {
        const MenuLook look = menuLook(c.mode, c.desktopActive);
        EXPECT_EQ(look.startTitle.has_value(), c.start != nullptr);
        if (c.start) {
            EXPECT_EQ(look.startTitle->toStdString(), c.start);
        }
        EXPECT_EQ(look.startVisible, c.startShown);
        EXPECT_EQ(look.desktopVisible, c.desktopShown);
        EXPECT_EQ(look.updateVisible, c.updateShown);
        EXPECT_EQ(look.shareVisible, c.shareShown);
    }
}

TEST(TrayRules, LiveIconIsDueEveryTwentyMinutes) {
    const QDateTime last(QDate(2026, 12, 8), QTime(5, 0), QTimeZone::utc());
    EXPECT_TRUE(StatusThumb::due(std::nullopt, last));
    EXPECT_FALSE(StatusThumb::due(last, last.addSecs(1199)));
    EXPECT_TRUE(StatusThumb::due(last, last.addSecs(1200)));
    // A clock set back does not count as time passed.
    EXPECT_FALSE(StatusThumb::due(last, last.addSecs(-3600)));
}

} // namespace
