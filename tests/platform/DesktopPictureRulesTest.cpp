// The choice of desktop adapter, the options a picture URL carries, the power-supply rule, the covering
// rule, and sway over its IPC socket against a stand-in compositor of ours.
#include "DesktopCanvas.h"
#include "LinuxPowerSource.h"
#include "Platform.h"
#include "SwayDesktopPicture.h"
#include "SwayWindowOcclusion.h"
#include "TestSupport.h"
#include "WindowOcclusion.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QWindow>
#include <QtEndian>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using Family = Platform::DesktopFamily;

TEST(DesktopFamily, ChosenFromTheSessionThenTheBusThenTheCompositorsLayers) {
    const auto none = [] { return QStringList(); };
    struct Case {
        QString current;
        bool sway, layers, x11;
        QStringList bus;
        Family expected;
        QString why;
    };
    const Case cases[] = {
        {"GNOME", false, false, true, {}, Family::gnome, "XDG_CURRENT_DESKTOP names GNOME"},
        {"ubuntu:GNOME", false, false, false, {}, Family::gnome, ""},
        {"Budgie:GNOME", false, false, true, {}, Family::gnome, ""},
        {"X-Cinnamon", false, false, true, {}, Family::cinnamon, ""},
        {"MATE", false, false, true, {}, Family::mate, ""},
        {"KDE", false, true, false, {}, Family::plasma, ""}, // KWin has layers, but Plasma sets pictures
        {"XFCE", false, false, true, {}, Family::xfce, ""},
        {"sway", true, true, false, {}, Family::sway, "sway's IPC socket is known (SWAYSOCK)"},
        {"KDE", true, false, false, {}, Family::sway, ""}, // a sway socket means sway answers
        {"",
         false,
         true,
         true,
         {"org.kde.plasmashell"},
         Family::plasma,
         "org.kde.plasmashell answers on the session bus"},
        {"LXQt", false, false, true, {"org.gnome.Shell"}, Family::gnome, ""},
        {"", false, false, true, {"org.xfce.xfdesktop"}, Family::xfce, ""},
        // Any compositor with layers, by what it offers rather than its name; sway without its socket too.
        {"Hyprland",
         false,
         true,
         false,
         {},
         Family::layerShell,
         "the compositor offers zwlr_layer_shell_v1 and no desktop service we know answers"},
        {"sway", false, true, false, {}, Family::layerShell, ""},
        {"", false, true, true, {"org.freedesktop.Notifications"}, Family::layerShell, ""},
        {"i3", false, false, true, {"org.freedesktop.Notifications"}, Family::x11Root, ""},
        {"", false, false, false, {}, Family::none, ""},
    };
    for (const Case& c : cases) {
        int asked = 0;
        const auto bus = [&] {
            ++asked;
            return c.bus;
        };
        QString why;
        EXPECT_EQ(Platform::desktopFamily(c.current, c.sway, c.layers, c.x11, bus, &why), c.expected)
            << c.current.toStdString();
        if (!c.why.isEmpty()) {
            EXPECT_EQ(why, c.why);
        }
        if (c.expected != Family::x11Root && c.expected != Family::none && c.expected != Family::layerShell &&
            c.bus.isEmpty()) {
            EXPECT_EQ(asked, 0);
        }
    }
    EXPECT_EQ(Platform::desktopFamily("GNOME", false, false, false, none), Family::gnome);
}

TEST(DesktopFamily, TheLiveDesktopGoesWhereTheSessionCanKeepItBelowTheWindows) {
    using Way = Platform::LiveDesktopWay;
    struct Case {
        bool wayland, layers;
        QString current;
        bool xDisplay;
        Way expected;
    };
    const Case cases[] = {
        {false, false, "GNOME", true, Way::window}, // X11, XWayland included: Qt's own desktop window
        {true, true, "sway", false, Way::layer},
        {true, true, "GNOME", true, Way::layer},
        {true, false, "ubuntu:GNOME", true, Way::xwayland},
        {true, false, "GNOME", false, Way::none}, // no XWayland to put it on
        {true, false, "", true, Way::none},       // Weston, or sway with the layers hidden
        {true, false, "KDE", true, Way::none},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Platform::liveDesktopWay(c.wayland, c.layers, c.current, c.xDisplay), c.expected)
            << c.current.toStdString() << " wayland " << c.wayland << " layers " << c.layers;
}

TEST(DesktopCanvas, OptionsSurviveTheirOwnDelimiters) {
    const QUrl file = QUrl::fromLocalFile("/home/me/Pictures/a b#1.png");
    const QString dark = "file:///usr/share/backgrounds/x-d.jpg?size=2&v=1#frag";
    const QString text =
        DesktopCanvas::withOptions(file, {{"picture-options", "zoom"}, {"picture-uri-dark", dark}});
    const QUrl back(text, QUrl::StrictMode);
    ASSERT_TRUE(back.isValid());
    EXPECT_EQ(DesktopCanvas::withoutOptions(back).toLocalFile(), "/home/me/Pictures/a b#1.png");
    EXPECT_EQ(DesktopCanvas::options(back).value("picture-options"), "zoom");
    EXPECT_EQ(DesktopCanvas::options(back).value("picture-uri-dark"), dark);
    EXPECT_EQ(DesktopCanvas::withOptions(file, {}), file.toString(QUrl::FullyEncoded));
}

TEST(PowerSupplies, BatteryOnlyWhenDischargingWithoutMains) {
    struct Supply {
        QString name, type, online, status;
    };
    struct Case {
        std::vector<Supply> supplies;
        bool battery;
    };
    const Case cases[] = {
        {{}, false},
        {{{"BAT0", "Battery", "", "Discharging"}}, true},
        {{{"BAT0", "Battery", "", "Discharging"}, {"AC", "Mains", "1", ""}}, false},
        {{{"BAT0", "Battery", "", "Discharging"}, {"AC", "Mains", "0", ""}}, true},
        {{{"BAT0", "Battery", "", "Charging"}, {"AC", "Mains", "0", ""}}, false},
        {{{"BAT0", "Battery", "", "Discharging"}, {"usb", "USB", "1", ""}}, false},
        {{{"BAT0", "", "", "Discharging"}}, false}, // unreadable type: mains
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        for (const Supply& s : c.supplies) {
            QDir(dir.path()).mkpath(s.name);
            if (!s.type.isEmpty()) writeFile(dir.filePath(s.name + "/type"), s.type.toUtf8() + "\n");
            if (!s.online.isEmpty()) writeFile(dir.filePath(s.name + "/online"), s.online.toUtf8() + "\n");
            if (!s.status.isEmpty()) writeFile(dir.filePath(s.name + "/status"), s.status.toUtf8() + "\n");
        }
        EXPECT_EQ(LinuxPowerSource::onBatteryBySupplies(dir.path()), c.battery) << c.supplies.size();
    }
    EXPECT_FALSE(LinuxPowerSource::onBatteryBySupplies("/nonexistent/power_supply"));
}

TEST(WindowCovering, AFullScreenWindowOverTheScreenOrAMaximisedOneOverItsWorkArea) {
    using A = WindowOcclusion::Above;
    const QRect screen(1280, 0, 1280, 720);
    const QRect panelOnTop(1280, 30, 1280, 690); // a 30-pixel panel keeps the top edge
    struct Case {
        const char* what;
        std::vector<A> above;
        bool covered;
    };
    const Case cases[] = {
        {"nothing above", {}, false},
        {"full screen", {A{QRect(1280, 0, 1280, 720), true, false, false}}, true},
        {"maximised beyond the edges", {A{QRect(1270, -10, 1300, 740), false, true, false}}, true},
        {"full screen on the other monitor", {A{QRect(0, 0, 1280, 720), true, false, false}}, false},
        {"an ordinary window as large as the screen",
         {A{QRect(1280, 0, 1280, 720), false, false, false}},
         false},
        {"minimised", {A{QRect(1280, 0, 1280, 720), true, false, true}}, false},
        {"maximised below the panel", {A{panelOnTop, false, true, false}}, true},
        {"maximised, a strip short of the work area",
         {A{QRect(1280, 30, 1280, 600), false, true, false}},
         false},
        {"full screen below the panel only", {A{panelOnTop, true, false, false}}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowOcclusion::covers(screen, panelOnTop, c.above), c.covered) << c.what;
    // Without a work area the whole screen must be covered.
    EXPECT_FALSE(WindowOcclusion::covers(screen, {A{panelOnTop, false, true, false}}));
}

TEST(WindowCovering, SwaysTreeCoversAnOutputWithAVisibleFullScreenOrFillingWindow) {
    const auto rect = [](const QRect& r) {
        return QJsonObject{{"x", r.x()}, {"y", r.y()}, {"width", r.width()}, {"height", r.height()}};
    };
    const auto view = [&](const QRect& r, int fullScreen, bool visible, qint64 window = 0) {
        return QJsonObject{{"type", "con"},      {"shell", window ? "xwayland" : "xdg_shell"},
                           {"rect", rect(r)},    {"fullscreen_mode", fullScreen},
                           {"visible", visible}, {"window", window ? QJsonValue(window) : QJsonValue()}};
    };
    // Two outputs side by side; a 30-pixel bar keeps the top of each; workspace "1" shows on the first,
    // "2" on the second, "3" is on the second but not shown; sway's scratchpad lives on "__i3".
    const auto tree = [&](QJsonArray one, QJsonArray two, QJsonArray three, QJsonArray floating = {}) {
        const auto workspace = [&](const char* name, const QRect& r, QJsonArray nodes, QJsonArray floats) {
            return QJsonObject{{"type", "workspace"},
                               {"name", name},
                               {"rect", rect(r)},
                               {"nodes", nodes},
                               {"floating_nodes", floats}};
        };
        const QRect first(0, 30, 1280, 690), second(1280, 30, 1280, 690);
        return QJsonObject{
            {"type", "root"},
            {"nodes",
             QJsonArray{QJsonObject{{"type", "output"}, {"name", "__i3"}, {"rect", rect({0, 0, 1280, 720})}},
                        QJsonObject{{"type", "output"},
                                    {"name", "HEADLESS-1"},
                                    {"rect", rect({0, 0, 1280, 720})},
                                    {"current_workspace", "1"},
                                    {"nodes", QJsonArray{workspace("1", first, one, floating)}}},
                        QJsonObject{{"type", "output"},
                                    {"name", "HEADLESS-2"},
                                    {"rect", rect({1280, 0, 1280, 720})},
                                    {"current_workspace", "2"},
                                    {"nodes", QJsonArray{workspace("2", second, two, {}),
                                                         workspace("3", second, three, {})}}}}}};
    };
    const QRect left(0, 0, 1280, 720), right(1280, 0, 1280, 720);
    struct Case {
        const char* what;
        QJsonObject tree;
        bool first, second;
    };
    const Case cases[] = {
        {"no windows", tree({}, {}, {}), false, false},
        {"a tiled window alone on the second", tree({}, {view({1280, 30, 1280, 690}, 0, true)}, {}), false,
         true},
        {"two tiled windows side by side",
         tree({view({0, 30, 640, 690}, 0, true), view({640, 30, 640, 690}, 0, true)}, {}, {}), false, false},
        {"full screen on the first", tree({view(left, 1, true)}, {}, {}), true, false},
        {"full screen on a workspace not shown", tree({}, {}, {view(right, 1, false)}), false, false},
        {"full screen across both outputs", tree({view({0, 0, 2560, 720}, 2, true)}, {}, {}), true, true},
        {"a small floating window", tree({}, {}, {}, {view({100, 100, 400, 300}, 0, true)}), false, false},
        {"our own X11 window, full screen", tree({view(left, 1, true, 77)}, {}, {}), false, false},
        {"another X11 window, full screen", tree({view(left, 1, true, 78)}, {}, {}), true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SwayWindowOcclusion::covered(c.tree, "HEADLESS-1", left, 77), c.first) << c.what;
        EXPECT_EQ(SwayWindowOcclusion::covered(c.tree, "HEADLESS-2", right, 77), c.second) << c.what;
        // Under XWayland Qt names the screens XWAYLAND0, 1: the geometry finds sway's output.
        EXPECT_EQ(SwayWindowOcclusion::covered(c.tree, "XWAYLAND1", right, 77), c.second) << c.what;
    }
}

namespace {

// How a stand-in compositor misbehaves: it sends its answer a byte every 50 ms, announces 600 MiB and
// floods, or reads the request and says nothing for three seconds.
enum class Misbehaviour { none, trickle, flood, silent };

// A compositor stand-in: answers the sway IPC on a Unix socket, records every message, and serves a
// configuration text; a command naming "BROKEN" fails as sway reports failures.
class SwayStandIn {
public:
    // `outputs` is the get_outputs answer; without it the stand-in answers as for an unknown message.
    explicit SwayStandIn(QString path, QString config, QByteArray outputs = {},
                         Misbehaviour misbehaviour = Misbehaviour::none)
        : path_(std::move(path)), config_(std::move(config)), outputs_(std::move(outputs)),
          misbehaviour_(misbehaviour) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = path_.toLocal8Bit();
        std::strncpy(address.sun_path, bytes.constData(), sizeof address.sun_path - 1);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            ::listen(listener_, 4);
        thread_ = std::thread([this] { serve(); });
    }
    ~SwayStandIn() {
        stopping_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::vector<std::pair<quint32, QByteArray>> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    void serve() {
        while (!stopping_) {
            pollfd wait{listener_, POLLIN, 0};
            if (::poll(&wait, 1, 50) <= 0) continue;
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            QByteArray in;
            char buffer[4096];
            while (in.size() < 14 ||
                   in.size() < 14 + qsizetype(qFromLittleEndian<quint32>(in.constData() + 6))) {
                const ssize_t got = ::read(client, buffer, sizeof buffer);
                if (got <= 0) break;
                in.append(buffer, got);
            }
            if (in.size() >= 14) {
                const quint32 length = qFromLittleEndian<quint32>(in.constData() + 6);
                const quint32 type = qFromLittleEndian<quint32>(in.constData() + 10);
                const QByteArray payload = in.mid(14, length);
                {
                    std::lock_guard lock(mutex_);
                    messages_.push_back({type, payload});
                }
                QByteArray reply;
                if (type == SwayDesktopPicture::getOutputs && !outputs_.isEmpty())
                    reply = outputs_;
                else if (type == SwayDesktopPicture::getConfig)
                    reply = QJsonDocument(QJsonObject{{"config", config_}}).toJson(QJsonDocument::Compact);
                else if (payload.contains("BROKEN"))
                    reply = R"([{"success": false, "parse_error": false, "error": "Unknown output BROKEN"}])";
                else
                    reply = R"([{"success": true}])";
                QByteArray out = "i3-ipc";
                const quint32 header[2] = {
                    misbehaviour_ == Misbehaviour::flood ? 600u << 20 : quint32(reply.size()), type};
                out.append(reinterpret_cast<const char*>(header), sizeof header);
                out.append(reply);
                misbehave(client, out);
            }
            ::close(client);
        }
    }
    void misbehave(int client, const QByteArray& out) {
        auto send = [client](const char* data, size_t size) {
            return ::send(client, data, size, MSG_NOSIGNAL) == ssize_t(size);
        };
        switch (misbehaviour_) {
        case Misbehaviour::none:
            send(out.constData(), size_t(out.size()));
            break;
        case Misbehaviour::trickle:
            for (qsizetype i = 0; i < out.size() && !stopping_ && send(out.constData() + i, 1); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            break;
        case Misbehaviour::flood: {
            const QByteArray zeros(1 << 20, '\0');
            send(out.constData(), size_t(out.size()));
            for (int i = 0; i < 64 && !stopping_ && send(zeros.constData(), size_t(zeros.size())); ++i) {
            }
            break;
        }
        case Misbehaviour::silent:
            for (int i = 0; i < 60 && !stopping_; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            break;
        }
    }

    QString path_, config_;
    QByteArray outputs_;
    Misbehaviour misbehaviour_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<std::pair<quint32, QByteArray>> messages_;
    std::thread thread_;
};

} // namespace

TEST(SwayDesktopPicture, SetsFitOnBlackReadsTheConfigAndPutsItBack) {
    QTemporaryDir dir;
    const QString config = "# ours\n"
                           "output * bg /usr/share/backgrounds/sway/Sway_Wallpaper_Blue_1920x1080.png fill\n"
                           "output \"DP-2\" resolution 2560x1440 bg '/home/me/My Pictures/x.jpg' center\n"
                           "output HDMI-A-1 bg ~/sun.png fit #112233\n";
    SwayStandIn sway(dir.filePath("sway.sock"), config);
    SwayDesktopPicture picture(dir.filePath("sway.sock"));
    const std::vector<DesktopScreen> screens{
        {"eDP-1", {0, 0, 1920, 1080}}, {"DP-2", {1920, 0, 2560, 1440}}, {"HDMI-A-1", {4480, 0, 1920, 1080}}};

    const QStringList before = picture.current(screens);
    ASSERT_EQ(before.size(), 3);
    EXPECT_EQ(DesktopCanvas::withoutOptions(QUrl(before[0])).toLocalFile(),
              "/usr/share/backgrounds/sway/Sway_Wallpaper_Blue_1920x1080.png");
    EXPECT_EQ(DesktopCanvas::withoutOptions(QUrl(before[1])).toLocalFile(), "/home/me/My Pictures/x.jpg");
    EXPECT_EQ(DesktopCanvas::options(QUrl(before[1])).value("mode"), "center");
    EXPECT_EQ(DesktopCanvas::withoutOptions(QUrl(before[2])).toLocalFile(), QDir::homePath() + "/sun.png");

    const auto answers =
        picture.set(screens, {{1, QUrl::fromLocalFile("/data/desk top/171-x.png"), PictureFit::fitOnBlack}});
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_FALSE(answers[0].has_value());
    const auto failed =
        picture.set({{"BROKEN", {}}}, {{0, QUrl::fromLocalFile("/a.png"), PictureFit::fitOnBlack}});
    EXPECT_EQ(failed.at(0).value_or(""), "Unknown output BROKEN");

    std::vector<PicturePlacement> back;
    for (int s = 0; s < 3; ++s)
        back.push_back({s, QUrl(before[s]), PictureFit::asRecorded});
    for (const auto& answer : picture.set(screens, back))
        EXPECT_FALSE(answer.has_value());

    QStringList commands;
    for (const auto& [type, payload] : sway.messages())
        if (type == SwayDesktopPicture::runCommand) commands << QString::fromUtf8(payload);
    EXPECT_EQ(commands,
              (QStringList{
                  R"(output "DP-2" bg "/data/desk top/171-x.png" fit #000000)",
                  R"(output "BROKEN" bg "/a.png" fit #000000)",
                  R"(output "eDP-1" bg "/usr/share/backgrounds/sway/Sway_Wallpaper_Blue_1920x1080.png" fill)",
                  R"(output "DP-2" bg "/home/me/My Pictures/x.jpg" center)",
                  R"(output "HDMI-A-1" bg ")" + QDir::homePath() + R"(/sun.png" fit)",
              }));
    // Without a compositor there is nothing to read and the set says why.
    SwayDesktopPicture gone(dir.filePath("missing.sock"));
    EXPECT_EQ(gone.current(screens), (QStringList{"", "", ""}));
    EXPECT_TRUE(
        gone.set(screens, {{0, QUrl::fromLocalFile("/a.png"), PictureFit::fitOnBlack}}).at(0).has_value());
}

TEST(SwayDesktopPicture, QtsXWaylandNamesBecomeSwaysOutputNamesAndUnknownOutputsAreRefused) {
    const QByteArray outputs =
        R"([{"name": "HEADLESS-1", "active": true, "rect": {"x": 0, "y": 0, "width": 1280, "height": 720}},
            {"name": "HEADLESS-2", "active": true, "rect": {"x": 1280, "y": 0, "width": 1280, "height": 720}},
            {"name": "HDMI-A-1", "active": false, "rect": {"x": 0, "y": 0, "width": 0, "height": 0}}])";
    struct Case {
        DesktopScreen screen;
        std::optional<QString> expected;
    };
    const std::vector<Case> cases{
        {{"HEADLESS-2", {1280, 0, 1280, 720}}, "HEADLESS-2"}, // sway's own name
        {{"XWAYLAND1", {1280, 0, 1280, 720}}, "HEADLESS-2"},  // Qt under XWayland: by geometry
        {{"XWAYLAND0", {0, 0, 1280, 720}}, "HEADLESS-1"},
        {{"HDMI-A-1", {0, 0, 1920, 1080}}, "HDMI-A-1"},      // named, though off now
        {{"XWAYLAND2", {2560, 0, 1280, 720}}, std::nullopt}, // nowhere
        {{"XWAYLAND0", {0, 0, 1280, 700}}, std::nullopt},    // not the same geometry
    };
    for (const Case& c : cases)
        EXPECT_EQ(SwayDesktopPicture::outputName(outputs, c.screen), c.expected)
            << c.screen.name.toStdString();
    EXPECT_EQ(SwayDesktopPicture::outputName("not json", {"X", {}}), std::nullopt);

    // Set: the command names sway's output; a screen sway does not have is refused before sway (which
    // would answer success and change nothing) hears of it.
    QTemporaryDir dir;
    SwayStandIn sway(dir.filePath("sway.sock"), "", outputs);
    SwayDesktopPicture picture(dir.filePath("sway.sock"));
    const std::vector<DesktopScreen> screens{{"XWAYLAND0", {0, 0, 1280, 720}},
                                             {"XWAYLAND1", {1280, 0, 1280, 720}},
                                             {"XWAYLAND2", {2560, 0, 1280, 720}}};
    const auto answers =
        picture.set(screens, {{1, QUrl::fromLocalFile("/d/171.png"), PictureFit::fitOnBlack},
                              {2, QUrl::fromLocalFile("/d/193.png"), PictureFit::fitOnBlack}});
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_FALSE(answers[0].has_value());
    EXPECT_EQ(answers[1].value_or(""), "sway has no output named XWAYLAND2 or placed at 2560,0");
    QStringList commands;
    for (const auto& [type, payload] : sway.messages())
        if (type == SwayDesktopPicture::runCommand) commands << QString::fromUtf8(payload);
    EXPECT_EQ(commands, QStringList{R"(output "HEADLESS-2" bg "/d/171.png" fit #000000)"});
}

// A compositor that trickles, floods or says nothing costs a picture call at most two seconds in all and
// never holds the GUI thread while the window tree is asked for; an event stream that floods is dropped.
TEST(SwayDesktopPicture, ACompositorThatTricklesFloodsOrSaysNothingCostsAtMostItsLimits) {
    int argc = 1;
    char name[] = "platform_tests";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    QTemporaryDir dir;
    struct Case {
        Misbehaviour misbehaviour;
        const char* failure;
    };
    const Case cases[] = {
        {Misbehaviour::trickle, "no whole answer from the compositor within 2 s"},
        {Misbehaviour::flood, "the compositor's answer is larger than 8 MiB"},
        {Misbehaviour::silent, "no whole answer from the compositor within 2 s"},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("sway-%1.sock").arg(int(c.misbehaviour)));
        SwayStandIn sway(path, "",
                         R"([{"name": "HEADLESS-1", "rect": {"x": 0, "y": 0, "width": 64, "height": 64}}])",
                         c.misbehaviour);
        QElapsedTimer clock;
        clock.start();
        const auto answers =
            SwayDesktopPicture(path).set({{"HEADLESS-1", {0, 0, 64, 64}}},
                                         {{0, QUrl::fromLocalFile("/d/171.png"), PictureFit::fitOnBlack}});
        EXPECT_LT(clock.elapsed(), 3000) << c.failure;
        EXPECT_EQ(answers.at(0).value_or(""), c.failure);

        QWindow window;
        CapturedLog captured;
        clock.restart();
        SwayWindowOcclusion occlusion(&window, path);
        EXPECT_LT(clock.elapsed(), 500) << c.failure << ": the tree is asked for without waiting";
        QElapsedTimer spinning;
        spinning.start();
        while (spinning.elapsed() < 2600)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_FALSE(occlusion.occluded());
        const QByteArray logged = captured.finish();
        if (c.misbehaviour == Misbehaviour::flood) {
            EXPECT_TRUE(
                logged.contains("solvane: live desktop: sway's window events stopped: the compositor's "
                                "answer is larger than 8 MiB; covered outputs do not pause"))
                << logged.constData();
        }
    }
}
