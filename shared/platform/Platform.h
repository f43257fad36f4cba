#pragma once
// The one place that picks the Linux adapter behind each port. Callers never choose for themselves.

#include "DesktopPicture.h"
#include "FileSharer.h"
#include "IdleTime.h"
#include "KeyboardHold.h"
#include "LockScreenPicture.h"
#include "LoginItem.h"
#include "MotionPreference.h"
#include "NetworkCost.h"
#include "Notifier.h"
#include "PaintedSurface.h"
#include "PowerSource.h"
#include "ScreenLock.h"
#include "ScreenSaverHost.h"
#include "SleepInhibit.h"
#include "WindowOcclusion.h"

#include <QRect>
#include <QScreen>
#include <functional>
#include <memory>

namespace Platform {
// The XDG autostart entry of the installed program.
std::shared_ptr<LoginItem> loginItem();
// The first idle-time source that answers now: GNOME's idle monitor, the compositor's idle protocol on
// Wayland (ext-idle-notify-v1, else org_kde_kwin_idle), the freedesktop screen saver, the X server (not
// on a Wayland session, where it sees only XWayland's clients); else none. Logs which one is used.
std::shared_ptr<IdleTime> idleTime();
// The compositor's idle inhibitor on our walls' surfaces (Wayland), else the desktop portal's Inhibit,
// else the freedesktop screen saver's Inhibit, else the X server's screen-saver suspension. Logs the order.
std::shared_ptr<SleepInhibit> sleepInhibit();
// How a kiosk keeps the desktop's shortcuts away, one per process: an X11 keyboard grab, the
// compositor's keyboard-shortcuts inhibitor on Wayland, else nothing. Logs the choice once.
std::shared_ptr<KeyboardHold> keyboardHold();
// What the kiosk help adds where the session cannot hold the keyboard.
QString keyboardHoldNote();
// `loginctl lock-session`.
std::shared_ptr<ScreenLock> screenLock();
// XScreenSaver, the host the saver's hack runs in.
std::shared_ptr<ScreenSaverHost> screenSaverHost();

// The desktop families whose picture we know how to set; layerShell is any Wayland compositor that
// offers layers, whatever its name.
enum class DesktopFamily { gnome, cinnamon, mate, plasma, xfce, sway, layerShell, x11Root, none };

// Which family runs: a sway IPC socket first, then the names in XDG_CURRENT_DESKTOP (":"-separated, the
// first known one wins), then the desktop shells that answer on the session bus (asked only when the
// variable names nothing known), then a compositor with layers (`layerShell`: zwlr_layer_shell_v1 on
// Qt's Wayland platform), then a plain X11 session, else none. `why`, when given, receives the reason in
// words.
DesktopFamily desktopFamily(const QString& currentDesktop, bool swaySocket, bool layerShell, bool x11,
                            const std::function<QStringList()>& busNames, QString* why = nullptr);

// The adapter for this session, logging which one and why. `folder` is where it may keep files of its
// own (composed layouts, copies of pictures it can only read as pixels). Call on the GUI thread.
std::shared_ptr<DesktopPicture> desktopPicture(const QString& folder);

// The lock screen's picture where the desktop has one we can set: GNOME's (GSettings) and KDE Plasma's
// (kscreenlockerrc); elsewhere an adapter that says why not.
std::shared_ptr<LockScreenPicture> lockScreenPicture();
// Why the lock screen cannot show the Sun here, in words for Preferences; empty where it can.
QString lockScreenUnavailable();

// The machine's power state. Create on the GUI thread.
std::shared_ptr<PowerSource> powerSource();
// Whether the network is metered (GLib's network monitor). Create on the GUI thread.
std::shared_ptr<NetworkCost> networkCost();

// Makes `window` (created, not yet shown) a desktop-level window: below every other window, above the
// desktop picture (on X11 _NET_WM_WINDOW_TYPE_DESKTOP). Nothing elsewhere.
void markDesktopWindow(QWindow* window);
// How the live desktop gets below the windows: an X11 desktop-type window of Qt's (on X11, XWayland
// included), a layer surface (a Wayland compositor with zwlr_layer_shell_v1), a desktop-type window on
// XWayland made by us (GNOME on Wayland, whose Mutter keeps it below), else not at all.
enum class LiveDesktopWay { window, layer, xwayland, none };
LiveDesktopWay liveDesktopWay(bool waylandPlatform, bool layerShell, const QString& currentDesktop,
                              bool xDisplay);
LiveDesktopWay liveDesktopWay();
// Why the live desktop cannot run here, in words for Preferences; empty where it can.
QString liveDesktopUnavailable();
// The surface showing `paint` below the windows on `screen` for the layer and XWayland ways; nothing for
// the others (Qt's own window shows it, or nothing runs).
std::unique_ptr<PaintedSurface> liveDesktopSurface(PaintedSurface::Painter paint, QScreen* screen);

// Keeps a shown desktop-level window of ours below the desktop's other desktop windows (the shell's
// desktop icons); `ours` are the ids of our other such windows. Nothing where there is no X11.
void keepBelowDesktopIcons(QWindow* window, const std::vector<quint32>& ours);

// Keeps a full-screen `window` (shown) on the output at `geometry` where the window manager would not:
// under XWayland on sway, through sway's IPC. Nothing elsewhere.
void placeFullScreen(QWindow* window, const QRect& geometry);

// Watches whether `window` (already created: winId() taken) is fully covered: sway's window tree on sway,
// the X server on X11, else never covered. Owned by `parent`.
WindowOcclusion* windowOcclusion(QWindow* window, QObject* parent);
// The desktop portal's open-with chooser (it answers for itself when no portal runs).
std::shared_ptr<FileSharer> fileSharer();
// The desktop's notifications over the session bus (it answers for itself when no daemon runs).
std::shared_ptr<Notifier> notifier();

// The reduce-motion preference where this desktop keeps it: KDE's kdeglobals on Plasma, else GNOME's
// GSettings key when its schema is installed, else never reduced.
std::shared_ptr<MotionPreference> motionPreference();
} // namespace Platform
