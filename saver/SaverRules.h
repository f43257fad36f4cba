#pragma once
// The hack's pure rules: what its command line asks for, when a window is a preview, and which screen
// (as the app numbers screens) a window is on.

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace SaverRules {

enum class Target {
    ownWindow, // nothing named: a window of our own, for trying the hack out
    window,    // a window named by -window-id or XSCREENSAVER_WINDOW
    root,      // the root window (-root)
};

struct Request {
    Target target = Target::ownWindow;
    unsigned long window = 0;
    std::optional<QString> error; // an argument that could not be understood
};

// Reads the arguments (without the program name). Every switch is accepted with one or two dashes, a
// value also after "=". A window named by -window-id wins over XSCREENSAVER_WINDOW (hexadecimal, as
// XScreenSaver sets it, which also passes --root), which wins over -root.
Request parse(const QStringList& arguments, const QByteArray& xscreensaverWindow);

// A window id in hexadecimal with "0x", or in decimal; nothing for anything else or zero.
std::optional<unsigned long> windowId(const QString& text);

// A window smaller than 640 x 400 in either direction is a settings dialog's preview.
bool isPreview(QSize window);

// One screen as the window system lists it: the X screen it belongs to and its rectangle there.
struct ScreenArea {
    int xScreen = 0;
    QRect geometry;
};

// The index of the screen holding `point` on X screen `xScreen`, counting screens X screen by X screen
// in the order given (the app's order); nothing when no screen holds it.
std::optional<int> screenIndex(const std::vector<ScreenArea>& screens, int xScreen, QPoint point);

// DISPLAY with its screen number dropped (":1.1" is ":1"), so that the toolkit lists screens in the same
// order the app sees them; nothing when there is no screen number to drop.
std::optional<QByteArray> displayWithoutScreen(const QByteArray& display);

} // namespace SaverRules
