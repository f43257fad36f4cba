// Each desktop adapter against the real thing where it runs here (GSettings with the keyfile backend,
// xfconfd, the X server's root window) and a stand-in of ours for the Plasma shell; each one sets a
// picture, remembers the starting one and puts it back.
#include "DesktopCanvas.h"
#include "DesktopSession.h"
#include "GSettingsDesktopPicture.h"
#include "PlasmaDesktopPicture.h"
#include "RootPixmapDesktopPicture.h"
#include "SessionFixture.h"
#include "TestSupport.h"
#include "XfconfDesktopPicture.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class DesktopAdapters : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        red = solidPicture(dir.path(), "red.png", Qt::red, {160, 90});
        blue =
            solidPicture(dir.path(), "blue.png", Qt::blue, {160, 160}); // square: black bars on tall screens
        green = solidPicture(dir.path(), "green.png", Qt::green, {16, 9});
    }
    static PicturePlacement ours(int screen, const QString& file) {
        return {screen, QUrl::fromLocalFile(file), PictureFit::fitOnBlack};
    }
    static std::vector<PicturePlacement> recorded(const QStringList& urls) {
        std::vector<PicturePlacement> out;
        for (int s = 0; s < urls.size(); ++s)
            if (!urls[s].isEmpty()) out.push_back({s, QUrl(urls[s]), PictureFit::asRecorded});
        return out;
    }
    static void allSucceed(const std::vector<std::optional<QString>>& answers, size_t count) {
        ASSERT_EQ(answers.size(), count);
        for (const auto& answer : answers)
            EXPECT_FALSE(answer.has_value()) << answer.value_or("").toStdString();
    }

    QTemporaryDir dir;
    QString red, blue, green;
    // Two monitors side by side, the second one lower, as the layouts are drawn.
    const std::vector<DesktopScreen> screens{{"LEFT", {0, 0, 640, 360}}, {"RIGHT", {640, 100, 360, 640}}};
};

QString gsettings(const QString& key) {
    return QString::fromUtf8(runProgram("gsettings", {"get", "org.gnome.desktop.background", key}).out)
        .trimmed();
}

QString xfconf(const QString& property) {
    return QString::fromUtf8(runProgram("xfconf-query", {"-c", "xfce4-desktop", "-p", property}).out)
        .trimmed();
}

} // namespace

TEST_F(DesktopAdapters, GnomeComposesOneSpannedLayoutAndPutsTheOldPictureBack) {
    ASSERT_TRUE(GSettingsDesktopPicture::available("org.gnome.desktop.background"));
    ASSERT_EQ(runProgram("gsettings", {"set", "org.gnome.desktop.background", "picture-options", "centered"})
                  .status,
              0);
    const QString uri = gsettings("picture-uri"), dark = gsettings("picture-uri-dark");
    GSettingsDesktopPicture gnome(GSettingsDesktopPicture::gnome(), dir.filePath("layout"));

    const QStringList before = gnome.current(screens);
    ASSERT_EQ(before.size(), 2);
    EXPECT_EQ(before[0], before[1]);

    allSucceed(gnome.set(screens, {ours(0, red), ours(1, blue)}), 2);
    const QString first = gsettings("picture-uri");
    EXPECT_EQ(gsettings("picture-uri-dark"), first);
    EXPECT_EQ(gsettings("picture-options"), "'spanned'");
    const QString layout = QUrl(first.mid(1, first.size() - 2)).toLocalFile();
    ASSERT_TRUE(layout.startsWith(dir.filePath("layout/"))) << first.toStdString();
    EXPECT_EQ(QImage(layout).size(), QSize(1000, 740)); // the box around both monitors
    EXPECT_EQ(pixelAt(layout, {320, 180}), QColor(Qt::red));
    EXPECT_EQ(pixelAt(layout, {820, 420}), QColor(Qt::blue));
    EXPECT_EQ(pixelAt(layout, {820, 150}), QColor(Qt::black)); // above the square picture on the tall monitor
    EXPECT_EQ(pixelAt(layout, {320, 600}), QColor(Qt::black)); // outside every monitor

    // A later update is a new file; the left monitor keeps its part, the old layout goes.
    allSucceed(gnome.set(screens, {ours(1, green)}), 1);
    const QString second = QUrl(gsettings("picture-uri").remove('\'')).toLocalFile();
    EXPECT_NE(second, layout);
    EXPECT_FALSE(QFile::exists(layout));
    EXPECT_EQ(pixelAt(second, {320, 180}), QColor(Qt::red));
    EXPECT_EQ(pixelAt(second, {820, 420}), QColor(Qt::green));

    allSucceed(gnome.set(screens, recorded(before)), 2);
    EXPECT_EQ(gsettings("picture-uri"), uri);
    EXPECT_EQ(gsettings("picture-uri-dark"), dark);
    EXPECT_EQ(gsettings("picture-options"), "'centered'");
}

TEST_F(DesktopAdapters, XfceSetsEveryWorkspaceOfEachMonitorThroughXfconfd) {
    const QString left0 = XfconfDesktopPicture::workspaceBase("LEFT", 0);
    const QString left1 = XfconfDesktopPicture::workspaceBase("LEFT", 1);
    // The user's own setup: a picture per workspace, a style, a plain colour behind the first.
    for (const auto& [property, type, value] :
         {std::tuple{left0 + "/last-image", "string", "/old/left.jpg"},
          std::tuple{left0 + "/image-style", "int", "5"}, std::tuple{left0 + "/color-style", "int", "1"},
          std::tuple{left1 + "/last-image", "string", "/old/second.jpg"}})
        ASSERT_EQ(
            runProgram("xfconf-query", {"-c", "xfce4-desktop", "-p", property, "-n", "-t", type, "-s", value})
                .status,
            0);
    ASSERT_EQ(runProgram("xfconf-query", {"-c",     "xfce4-desktop",
                                          "-p",     left0 + "/rgba1",
                                          "-n",     "-t",
                                          "double", "-t",
                                          "double", "-t",
                                          "double", "-t",
                                          "double", "-s",
                                          "0.25",   "-s",
                                          "0.5",    "-s",
                                          "0.75",   "-s",
                                          "1"})
                  .status,
              0);
    XfconfDesktopPicture xfce;

    const QStringList before = xfce.current(screens);
    ASSERT_EQ(before.size(), 2);
    EXPECT_EQ(DesktopCanvas::withoutOptions(QUrl(before[0])).toLocalFile(), "/old/left.jpg");
    EXPECT_EQ(before[1], ""); // the right monitor had nothing

    allSucceed(xfce.set(screens, {ours(0, red), ours(1, blue)}), 2);
    EXPECT_EQ(xfconf(left0 + "/last-image"), red);
    EXPECT_EQ(xfconf(left1 + "/last-image"), red);
    EXPECT_EQ(xfconf(left0 + "/image-style"), QString::number(XfconfDesktopPicture::scaled));
    EXPECT_EQ(xfconf(XfconfDesktopPicture::workspaceBase("RIGHT", 0) + "/last-image"), blue);
    EXPECT_TRUE(xfconf(left0 + "/rgba1").contains("0.000000")) << xfconf(left0 + "/rgba1").toStdString();

    allSucceed(xfce.set(screens, recorded(before)), 1);
    EXPECT_EQ(xfconf(left0 + "/last-image"), "/old/left.jpg");
    EXPECT_EQ(xfconf(left1 + "/last-image"), "/old/second.jpg") << "each workspace keeps its own";
    EXPECT_EQ(xfconf(left0 + "/image-style"), "5");
    EXPECT_EQ(xfconf(left0 + "/color-style"), "1");
    EXPECT_TRUE(xfconf(left0 + "/rgba1").contains("0.250000")) << xfconf(left0 + "/rgba1").toStdString();
    EXPECT_EQ(xfconf(left1 + "/color-style"), "") << "what we added goes";
}

TEST_F(DesktopAdapters, PlasmaScriptsEachScreenThroughTheShell) {
    // The shell stand-in: python-dbusmock with evaluateScript answering a reading script with two
    // screens' pictures, and failing a script that names a screen the shell lacks.
    BackgroundProgram shell("/usr/bin/python3",
                            {"-m", "dbusmock", "org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell"});
    ASSERT_TRUE(waitForName("org.kde.plasmashell", false));
    QDBusMessage add = QDBusMessage::createMethodCall("org.kde.plasmashell", "/PlasmaShell",
                                                      "org.freedesktop.DBus.Mock", "AddMethod");
    add << "org.kde.PlasmaShell"
        << "evaluateScript"
        << "s"
        << "s"
        << "if 'desktopForScreen(7)' in args[0]: raise dbus.exceptions.DBusException('no desktop on screen "
           "7', "
           "name='org.kde.PlasmaShell.Error')\n"
           R"(ret = '0 {"plugin": "org.kde.image", "config": {"Image": "file:///old/left.png", "FillMode": 2, )"
           R"("Color": "#123456"}}\n1 {"plugin": "org.kde.slideshow", "config": {"SlidePaths": ["/home/me/P"], )"
           R"("SlideInterval": 300}}' if 'readConfig' in args[0] else '')";
    ASSERT_EQ(QDBusConnection::sessionBus().call(add).type(), QDBusMessage::ReplyMessage);
    PlasmaDesktopPicture plasma;

    // An image with its fill mode and colour on the left, a slideshow of a folder on the right.
    const QStringList before = plasma.current(screens);
    EXPECT_EQ(DesktopCanvas::withoutOptions(QUrl(before.value(0))).toString(), "file:///old/left.png");
    EXPECT_EQ(DesktopCanvas::options(QUrl(before.value(0))).value("plugin"), "org.kde.image");
    EXPECT_EQ(DesktopCanvas::withoutOptions(QUrl(before.value(1))).toString(),
              "plasma-wallpaper:org.kde.slideshow");
    allSucceed(plasma.set(screens, {ours(1, "/data/it's \"here\".png")}), 1);
    allSucceed(plasma.set(screens, recorded(before)), 2);
    const auto failed = plasma.set(screens, {ours(7, red)});
    EXPECT_TRUE(failed.at(0).value_or("").contains("no desktop on screen 7"));

    QDBusMessage calls = QDBusMessage::createMethodCall("org.kde.plasmashell", "/PlasmaShell",
                                                        "org.freedesktop.DBus.Mock", "GetMethodCalls");
    calls << "evaluateScript";
    const QDBusMessage reply = QDBusConnection::sessionBus().call(calls);
    QStringList scripts;
    const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        quint64 when = 0;
        QVariantList arguments;
        list.beginStructure();
        list >> when >> arguments;
        list.endStructure();
        scripts << arguments.value(0).toString();
    }
    list.endArray();
    ASSERT_EQ(scripts.size(), 5);
    EXPECT_EQ(scripts[0], PlasmaDesktopPicture::readScript(2));
    EXPECT_TRUE(scripts[0].contains("desktopForScreen(i)"));
    EXPECT_TRUE(scripts[0].contains("d.configKeys"));
    // The documented way: the screen's containment, the image plugin's General group, Image and FillMode.
    EXPECT_EQ(scripts[1], "var d = desktopForScreen(1);\n"
                          "if (!d) throw \"no desktop on screen 1\";\n"
                          "d.wallpaperPlugin = \"org.kde.image\";\n"
                          "d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                          "d.writeConfig(\"Image\", \"file:///data/it's%20%22here%22.png\");\n"
                          "d.writeConfig(\"FillMode\", 1);\n"
                          "d.writeConfig(\"Color\", \"#000000\");\n");
    // Turning off puts back each screen's own plugin with every setting it had.
    EXPECT_TRUE(scripts[2].contains(R"(d.wallpaperPlugin = "org.kde.image";)"));
    EXPECT_TRUE(scripts[2].contains(R"("Color":"#123456")")) << scripts[2].toStdString();
    EXPECT_TRUE(scripts[2].contains(R"("FillMode":2)"));
    EXPECT_TRUE(scripts[2].contains(R"("Image":"file:///old/left.png")"));
    EXPECT_TRUE(scripts[3].contains("desktopForScreen(1)"));
    EXPECT_TRUE(scripts[3].contains(R"(d.wallpaperPlugin = "org.kde.slideshow";)"));
    EXPECT_TRUE(scripts[3].contains(R"("SlidePaths":["/home/me/P"])")) << scripts[3].toStdString();
    EXPECT_TRUE(scripts[3].contains("for (var key in config) d.writeConfig(key, config[key]);"));
}

TEST_F(DesktopAdapters, X11RootPixmapPerScreenRectangle) {
    RootPixmapDesktopPicture root(dir.filePath("previous"));
    // Xvfb's root is 1280x720: two screens of 640x720 side by side.
    const std::vector<DesktopScreen> halves{{"A", {0, 0, 640, 720}}, {"B", {640, 0, 640, 720}}};
    allSucceed(root.set(halves, {ours(0, red), ours(1, blue)}), 2);
    const QString property = QString::fromUtf8(runProgram("xprop", {"-root", "_XROOTPMAP_ID"}).out);
    EXPECT_TRUE(property.contains("_XROOTPMAP_ID(PIXMAP): pixmap id # 0x")) << property.toStdString();
    const QString esetroot = QString::fromUtf8(runProgram("xprop", {"-root", "ESETROOT_PMAP_ID"}).out);
    EXPECT_EQ(esetroot.section('#', 1), property.section('#', 1));
    QString shot = grabRoot(dir.path());
    ASSERT_FALSE(shot.isEmpty());
    EXPECT_EQ(pixelAt(shot, {320, 360}), QColor(Qt::red));
    EXPECT_EQ(pixelAt(shot, {960, 360}), QColor(Qt::blue));
    EXPECT_EQ(pixelAt(shot, {960, 20}), QColor(Qt::black)); // the square picture's bar above
    EXPECT_EQ(pixelAt(shot, {320, 100}), QColor(Qt::black));

    // The root holds pixels: remembering saves each screen's part, which later goes back.
    const QStringList before = root.current(halves);
    ASSERT_EQ(before.size(), 2);
    EXPECT_EQ(pixelAt(QUrl(before[0]).toLocalFile(), {320, 360}), QColor(Qt::red));
    allSucceed(root.set(halves, {ours(0, green)}), 1);
    shot = grabRoot(dir.path());
    EXPECT_EQ(pixelAt(shot, {320, 360}), QColor(Qt::green));
    EXPECT_EQ(pixelAt(shot, {960, 360}), QColor(Qt::blue)); // the other screen kept its picture
    allSucceed(root.set(halves, recorded(before)), 2);
    shot = grabRoot(dir.path());
    EXPECT_EQ(pixelAt(shot, {320, 360}), QColor(Qt::red));
    EXPECT_EQ(pixelAt(shot, {960, 360}), QColor(Qt::blue));
}
