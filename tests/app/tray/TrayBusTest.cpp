// The program's tray item end to end, on a private session bus with our own StatusNotifierWatcher under
// Xvfb: it registers, its properties and menu read back over D-Bus, the menu follows the mode, and
// clicks start the walls and quit. Also the main menu's Copy Diagnostics read back with xclip.
#include "Cache.h"
#include "Diagnostics.h"
#include "FakeController.h"
#include "MainMenu.h"
#include "MenuActions.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "Share.h"
#include "StatusNotifierWatcher.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <future>
#include <gtest/gtest.h>

namespace {

// Runs the event loop (so our watcher answers the program) until `done` holds or the time is up.
bool waitFor(const std::function<bool()>& done, int seconds = 60) {
    const QDeadlineTimer deadline(seconds * 1000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

// A D-Bus call answered while our own event loop keeps running.
QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(message, 30000);
    waitFor([&] { return pending.isFinished(); }, 40);
    return pending.reply();
}

struct MenuItem {
    int id = 0;
    QString label;
    bool visible = true, enabled = true, separator = false;
};

// The flat list of the menu's top-level items from GetLayout's (ia{sv}av) tree.
std::vector<MenuItem> items(const QDBusArgument& layout) {
    std::vector<MenuItem> result;
    int id = 0;
    QVariantMap properties;
    layout.beginStructure();
    layout >> id >> properties;
    layout.beginArray();
    while (!layout.atEnd()) {
        QDBusVariant child;
        layout >> child;
        const QDBusArgument node = child.variant().value<QDBusArgument>();
        MenuItem item;
        node.beginStructure();
        QVariantMap values;
        node >> item.id >> values;
        item.label = values.value("label").toString();
        item.visible = values.value("visible", true).toBool();
        item.enabled = values.value("enabled", true).toBool();
        item.separator = values.value("type").toString() == "separator";
        node.endStructure();
        result.push_back(item);
    }
    layout.endArray();
    layout.endStructure();
    return result;
}

// The largest picture of an a(iiay) icon, turned from network-order ARGB into an image.
QImage largestPixmap(const QDBusArgument& argument) {
    QImage best;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0, height = 0;
        QByteArray data;
        argument.beginStructure();
        argument >> width >> height >> data;
        argument.endStructure();
        if (width <= best.width() || data.size() != width * height * 4) continue;
        QImage image(width, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const auto* p = reinterpret_cast<const uchar*>(data.constData()) + (y * width + x) * 4;
                image.setPixel(x, y, qRgba(p[1], p[2], p[3], p[0]));
            }
        best = image;
    }
    argument.endArray();
    return best;
}

int colourDistance(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// The visible labels in order; separators as "-", the disabled status line in brackets.
QStringList visibleLabels(const std::vector<MenuItem>& menu) {
    QStringList labels;
    for (const MenuItem& item : menu) {
        if (!item.visible) continue;
        if (item.separator)
            labels << "-";
        else
            labels << (item.enabled ? item.label : "[" + item.label + "]");
    }
    return labels;
}

int idOf(const std::vector<MenuItem>& menu, const QString& label) {
    for (const MenuItem& item : menu)
        if (item.label == label) return item.id;
    return -1;
}

class TrayBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* sub : {"config", "cache", "data", "home"})
            QDir(dir.path()).mkpath(sub);
        Settings::d().useFile(dir.filePath("config/example.tessly.solvane.plist"));
    }
    void TearDown() override {
        // A test that failed half-way still ends the program: by its menu, else by its own time limit.
        if (program.valid() && !menuPath.isEmpty() &&
            program.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            click(idOf(openMenu(), "Quit Solvane"));
        if (program.valid())
            waitFor([&] { return program.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                    300);
        Settings::d().useFile(dir.filePath("after.plist"));
    }

    void startProgram() {
        const QStringList environment = {
            "XDG_CONFIG_HOME=" + dir.filePath("config"), "XDG_CACHE_HOME=" + dir.filePath("cache"),
            "XDG_DATA_HOME=" + dir.filePath("data"), "HOME=" + dir.filePath("home"), "QT_QPA_PLATFORM=xcb",
            // Objects Qt's D-Bus tray leaves to the exit are matched by the suppressions only through a
            // full stack: the quick unwinder stops at the first system-library frame of the loaded
            // application part.
            "LSAN_OPTIONS=" + qEnvironmentVariable("LSAN_OPTIONS") + ":fast_unwind_on_malloc=0"};
        // The program quits by itself in the end, should the test never click Quit.
        program = std::async(std::launch::async, [environment] {
            return runProgram(SOLVANE_BINARY, {"--seconds", "240"}, {}, environment, 280000);
        });
    }

    QVariant property(const QString& name) {
        const QDBusMessage reply = call(service, "/StatusNotifierItem", "org.freedesktop.DBus.Properties",
                                        "Get", {"org.kde.StatusNotifierItem", name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    // Opens the menu as a host would (AboutToShow), then reads its items.
    std::vector<MenuItem> openMenu() {
        call(service, menuPath, "com.canonical.dbusmenu", "AboutToShow", {0});
        const QDBusMessage reply =
            call(service, menuPath, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
        if (reply.arguments().size() < 2) return {};
        return items(reply.arguments().at(1).value<QDBusArgument>());
    }

    void click(int id) {
        call(service, menuPath, "com.canonical.dbusmenu", "Event",
             {id, QString("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    }

    QImage icon() { return largestPixmap(property("IconPixmap").value<QDBusArgument>()); }

    QTemporaryDir dir;
    std::future<ProcessResult> program;
    QString service;
    QString menuPath;
};

TEST_F(TrayBus, TheItemRegistersAndItsMenuFollowsTheMode) {
    StatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.start());
    Settings::setMode(Mode::desktop);
    Settings::setLiveStatusIcon(true);
    // No refresh pass reaches out to the network during the test.
    Settings::setOffline(true);
    startProgram();
    ASSERT_TRUE(waitFor([&] { return !watcher.items().isEmpty(); }, 120)) << "the item never registered";
    service = watcher.items().first();

    EXPECT_EQ(property("Id").toString(), "Solvane");
    EXPECT_EQ(property("Title").toString(), "Solvane");
    menuPath = property("Menu").value<QDBusObjectPath>().path();
    ASSERT_FALSE(menuPath.isEmpty());

    // The live icon: a round crop whose centre has the newest frame's centre colour.
    Cache::setDir(dir.filePath("cache/Solvane"));
    ASSERT_TRUE(waitFor([&] { return !Cache::entries().empty(); }));
    const auto frame = Share::newestFrameImage(Settings::productList(0), 320);
    ASSERT_TRUE(frame);
    const QColor frameCentre = frame->pixelColor(frame->width() / 2, frame->height() / 2);
    QImage live;
    ASSERT_TRUE(waitFor([&] {
        live = icon();
        return !live.isNull() && live.pixelColor(0, 0).alpha() == 0 &&
               colourDistance(live.pixelColor(live.width() / 2, live.height() / 2), frameCentre) <= 60;
    })) << "centre "
        << live.pixelColor(live.width() / 2, live.height() / 2).name().toStdString() << " frame "
        << frameCentre.name().toStdString();
    {
        const QDBusArgument tip = property("ToolTip").value<QDBusArgument>();
        QString iconName, title, text;
        tip.beginStructure();
        tip >> iconName;
        largestPixmap(tip);
        tip >> title >> text;
        tip.endStructure();
        EXPECT_EQ(title, "Solvane, the Sun");
    }

    // Offline with only the bundled clip: the second line says what is shown and how old it is.
    const QString imagery = "[Offline. Showing the built-in clip from 24 Jun 2013.]";
    const QStringList shared = {"Save This Frame…", "Export This Clip…", "Share This Frame…",
                                "Print This Day", "-"};
    struct Case {
        Mode mode;
        QStringList labels;
    };
    const Case cases[] = {
        {Mode::desktop, QStringList{"[The Sun, latest picture]", "[Desktop: picture fixed, not updating]",
                                    imagery, "-", "Update Desktop Now", "-"} +
                            shared + QStringList{"Settings…", "Check for Updates…", "-", "Quit Solvane"}},
        {Mode::saver, QStringList{"[The Sun, latest picture]", "[Screen Saver: starts after 5 min idle]",
                                  imagery, "-", "Start Screen Saver Now", "-"} +
                          shared + QStringList{"Settings…", "Check for Updates…", "-", "Quit Solvane"}},
        {Mode::kiosk,
         {"[The Sun, latest picture]", "[Kiosk: ready]", imagery, "-", "Start Kiosk Now", "-", "Settings…",
          "-", "Quit Solvane"}},
        {Mode::wall,
         QStringList{"[The Sun, latest picture]", "[Wall: ready]", imagery, "-", "Start Wall Now", "-"} +
             shared + QStringList{"Settings…", "Check for Updates…", "-", "Quit Solvane"}},
    };
    std::vector<MenuItem> menu;
    // Before a mode is chosen: no mode's actions, whatever the stored default.
    const QStringList unchosen =
        QStringList{"[The Sun, latest picture]", "[No mode chosen yet]", imagery, "-"} + shared +
        QStringList{"Settings…", "Check for Updates…", "-", "Quit Solvane"};
    ASSERT_TRUE(waitFor([&] { return visibleLabels(menu = openMenu()) == unchosen; }, 30))
        << visibleLabels(menu).join(" | ").toStdString();
    Settings::setConfigured(true);
    for (const Case& c : cases) {
        Settings::setMode(c.mode);
        ASSERT_TRUE(waitFor([&] { return visibleLabels(menu = openMenu()) == c.labels; }, 30))
            << Modes::rawValue(c.mode).toStdString() << ": " << visibleLabels(menu).join(" | ").toStdString();
    }

    click(idOf(menu, "Start Wall Now"));
    ASSERT_TRUE(waitFor([&] { return visibleLabels(menu = openMenu()).value(1) == "[Wall: on screen]"; }))
        << visibleLabels(menu).join(" | ").toStdString();

    // The live icon turned off: the sun symbol at the next opening of the menu.
    Settings::setLiveStatusIcon(false);
    QImage symbol;
    ASSERT_TRUE(waitFor([&] {
        openMenu();
        symbol = icon();
        return !symbol.isNull() && colourDistance(symbol.pixelColor(symbol.width() / 2, symbol.height() / 2),
                                                  QColor("#f5a623")) <= 30;
    }));

    click(idOf(menu, "Quit Solvane"));
    ASSERT_TRUE(
        waitFor([&] { return program.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    const ProcessResult result = program.get();
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("solvane: showing 1 of 1 display(s), mode wall"))
        << result.err.toStdString();
}

TEST_F(TrayBus, CopyDiagnosticsPutsTheReportOnTheClipboard) {
    FakeController app;
    MenuActions actions(app);
    MainMenu mainMenu(app, actions);
    QWidget window;
    QMenuBar* bar = mainMenu.install(&window);
    QAction* copy = nullptr;
    for (QAction* menu : bar->actions())
        if (menu->text() == "Help")
            for (QAction* item : menu->menu()->actions())
                if (item->text() == "Copy Diagnostics") copy = item;
    ASSERT_TRUE(copy);

    CapturedLog captured;
    copy->trigger();
    EXPECT_EQ(captured.finish(), "solvane: diagnostics copied to the clipboard\n");
    // xclip asks our process for the selection, so the event loop runs while it reads.
    auto read = std::async(std::launch::async, [] {
        return runProgram("xclip", {"-o", "-selection", "clipboard"});
    });
    ASSERT_TRUE(waitFor([&] { return read.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    const ProcessResult pasted = read.get();
    ASSERT_EQ(pasted.status, 0) << pasted.err.toStdString();
    const QStringList lines = QString::fromUtf8(pasted.out).split('\n');
    const QStringList report = Diagnostics::report().split('\n');
    EXPECT_EQ(lines.size(), report.size());
    EXPECT_EQ(lines.value(0), report.value(0));
}

} // namespace
