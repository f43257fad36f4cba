#include "Platform.h"

#include "DBusIdleTime.h"
#include "FreedesktopNotifier.h"
#include "GSettingsDesktopPicture.h"
#include "GSettingsLockScreen.h"
#include "KdeLockScreen.h"
#include "KeyboardHold.h"
#include "LayerDesktopPicture.h"
#include "LinuxPowerSource.h"
#include "Log.h"
#include "PlasmaDesktopPicture.h"
#include "PortalFileSharer.h"
#include "PortalSleepInhibit.h"
#include "RootPixmapDesktopPicture.h"
#include "ScreenSaverInhibit.h"
#include "SwayDesktopPicture.h"
#include "SwayPlacement.h"
#include "SwayWindowOcclusion.h"
#include "WaylandIdleTime.h"
#include "WaylandLayerSurface.h"
#include "WaylandShortcutsInhibit.h"
#include "WaylandSleepInhibit.h"
#include "X11IdleTime.h"
#include "X11SleepSuspend.h"
#include "X11WindowOcclusion.h"
#include "XScreenSaverHost.h"
#include "XWaylandDesktopSurface.h"
#include "XdgAutostartLoginItem.h"
#include "XfconfDesktopPicture.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QGuiApplication>

namespace Platform {

std::shared_ptr<LoginItem> loginItem() {
    return std::make_shared<XdgAutostartLoginItem>();
}

namespace {
bool waylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}
} // namespace

std::shared_ptr<IdleTime> idleTime() {
    std::shared_ptr<IdleTime> chosen;
    if (DBusIdleTime mutter = DBusIdleTime::mutter(); mutter.ask())
        chosen = std::make_shared<DBusIdleTime>(mutter);
    if (!chosen) chosen = WaylandIdleTime::open();
    if (!chosen) {
        if (DBusIdleTime screenSaver = DBusIdleTime::screenSaver(); screenSaver.ask())
            chosen = std::make_shared<DBusIdleTime>(screenSaver);
    }
    // XWayland's server sees only its own clients' input: typing in a Wayland window would count as idle.
    if (!chosen && !waylandSession()) chosen = X11IdleTime::open();
    if (!chosen) {
        log("idle time: no source answers; the saver will not start on its own", LogArea::app);
        return std::make_shared<NoIdleTime>();
    }
    log("idle time: from " + chosen->name(), LogArea::app);
    return chosen;
}

std::shared_ptr<SleepInhibit> sleepInhibit() {
    std::vector<std::unique_ptr<SleepInhibit>> sources;
    if (auto wayland = WaylandSleepInhibit::open()) sources.push_back(std::move(wayland));
    sources.push_back(std::make_unique<PortalSleepInhibit>());
    sources.push_back(std::make_unique<ScreenSaverInhibit>());
    sources.push_back(std::make_unique<X11SleepSuspend>());
    QStringList names;
    for (const auto& source : sources)
        names << source->name();
    log("display sleep: held off through the first of " + names.join(", "), LogArea::app);
    return std::make_shared<FirstSleepInhibit>(std::move(sources));
}

std::shared_ptr<KeyboardHold> keyboardHold() {
    static std::shared_ptr<KeyboardHold> chosen;
    if (chosen) return chosen;
    if (qGuiApp && qGuiApp->platformName() == QLatin1String("wayland")) {
        if (auto inhibit = WaylandShortcutsInhibit::open())
            chosen = std::move(inhibit);
        else
            chosen = std::make_shared<NoKeyboardHold>();
    } else {
        chosen = std::make_shared<X11KeyboardGrab>();
    }
    log("kiosk keys: held through " + chosen->name(), LogArea::app);
    return chosen;
}

QString keyboardHoldNote() {
    return QStringLiteral(
        "This compositor cannot hold the keyboard, so its own shortcuts still work while the "
        "kiosk shows. A kiosk compositor such as cage, or a sway kiosk configuration, can; the "
        "kiosk session file can name one.");
}

std::shared_ptr<ScreenLock> screenLock() {
    return std::make_shared<LoginctlLock>();
}

DesktopFamily desktopFamily(const QString& currentDesktop, bool swaySocket, bool layerShell, bool x11,
                            const std::function<QStringList()>& busNames, QString* why) {
    const auto because = [why](DesktopFamily family, const QString& reason) {
        if (why) *why = reason;
        return family;
    };
    if (swaySocket)
        return because(DesktopFamily::sway, QStringLiteral("sway's IPC socket is known (SWAYSOCK)"));
    for (const QString& name : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString n = name.trimmed().toLower();
        const QString named = "XDG_CURRENT_DESKTOP names " + name.trimmed();
        if (n == "gnome" || n == "gnome-classic" || n == "gnome-flashback" || n == "budgie" || n == "unity" ||
            n == "pantheon")
            return because(DesktopFamily::gnome, named);
        if (n == "x-cinnamon" || n == "cinnamon") return because(DesktopFamily::cinnamon, named);
        if (n == "mate") return because(DesktopFamily::mate, named);
        if (n == "kde") return because(DesktopFamily::plasma, named);
        if (n == "xfce") return because(DesktopFamily::xfce, named);
    }
    const QStringList names = busNames ? busNames() : QStringList();
    const std::pair<const char*, DesktopFamily> shells[] = {{"org.kde.plasmashell", DesktopFamily::plasma},
                                                            {"org.gnome.Shell", DesktopFamily::gnome},
                                                            {"org.xfce.xfdesktop", DesktopFamily::xfce},
                                                            {"org.Cinnamon", DesktopFamily::cinnamon}};
    for (const auto& [shell, family] : shells)
        if (names.contains(QLatin1String(shell)))
            return because(family,
                           QString::fromLatin1(shell) + QStringLiteral(" answers on the session bus"));
    const QString unknown = QStringLiteral("no desktop service we know answers");
    if (layerShell)
        return because(DesktopFamily::layerShell, "the compositor offers zwlr_layer_shell_v1 and " + unknown);
    if (x11) return because(DesktopFamily::x11Root, "a plain X11 session: " + unknown);
    return because(DesktopFamily::none, unknown + " and the session offers no layers or X11 root window");
}

namespace {
// The family of this session; `layers` asks the compositor whether it offers them.
DesktopFamily sessionFamily(bool layers, QString* why) {
    const bool wayland = qGuiApp && qGuiApp->platformName() == QLatin1String("wayland");
    const bool x11 =
        qGuiApp ? qGuiApp->platformName() == QLatin1String("xcb")
                : !qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const auto busNames = [] {
        const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        return bus ? bus->registeredServiceNames().value() : QStringList();
    };
    return desktopFamily(qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                         !qEnvironmentVariableIsEmpty("SWAYSOCK"),
                         layers && wayland && WaylandLayerSurface::available(), x11, busNames, why);
}

std::shared_ptr<DesktopPicture> desktopPictureOf(DesktopFamily family, const QDir& dir) {
    switch (family) {
    case DesktopFamily::gnome:
        return std::make_shared<GSettingsDesktopPicture>(GSettingsDesktopPicture::gnome(),
                                                         dir.filePath("layout"));
    case DesktopFamily::cinnamon:
        return std::make_shared<GSettingsDesktopPicture>(GSettingsDesktopPicture::cinnamon(),
                                                         dir.filePath("layout"));
    case DesktopFamily::mate:
        return std::make_shared<GSettingsDesktopPicture>(GSettingsDesktopPicture::mate(),
                                                         dir.filePath("layout"));
    case DesktopFamily::plasma:
        return std::make_shared<PlasmaDesktopPicture>();
    case DesktopFamily::xfce:
        return std::make_shared<XfconfDesktopPicture>();
    case DesktopFamily::sway:
        return std::make_shared<SwayDesktopPicture>(qEnvironmentVariable("SWAYSOCK"));
    case DesktopFamily::layerShell:
        return std::make_shared<LayerDesktopPicture>();
    case DesktopFamily::x11Root:
        return std::make_shared<RootPixmapDesktopPicture>(dir.filePath("previous"));
    case DesktopFamily::none:
        break;
    }
    return std::make_shared<NoDesktopPicture>();
}
} // namespace

std::shared_ptr<DesktopPicture> desktopPicture(const QString& folder) {
    QString why;
    std::shared_ptr<DesktopPicture> chosen = desktopPictureOf(sessionFamily(true, &why), QDir(folder));
    log("desktop picture: " + chosen->name() + " (" + why + ")", LogArea::desktop);
    return chosen;
}

std::shared_ptr<LockScreenPicture> lockScreenPicture() {
    switch (sessionFamily(false, nullptr)) {
    case DesktopFamily::gnome:
        if (GSettingsDesktopPicture::available(GSettingsLockScreen::schema))
            return std::make_shared<GSettingsLockScreen>();
        break;
    case DesktopFamily::plasma:
        return std::make_shared<KdeLockScreen>(KdeLockScreen::defaultFile());
    default:
        break;
    }
    return std::make_shared<NoLockScreenPicture>();
}

QString lockScreenUnavailable() {
    return lockScreenPicture()->unavailable();
}

std::shared_ptr<PowerSource> powerSource() {
    return std::make_shared<LinuxPowerSource>();
}

std::shared_ptr<NetworkCost> networkCost() {
    return std::make_shared<GioNetworkCost>();
}

std::shared_ptr<ScreenSaverHost> screenSaverHost() {
    return std::make_shared<XScreenSaverHost>();
}

void markDesktopWindow(QWindow* window) {
    if (qGuiApp && qGuiApp->platformName() == QLatin1String("xcb"))
        X11WindowOcclusion::markDesktopWindow(window);
}

LiveDesktopWay liveDesktopWay(bool waylandPlatform, bool layerShell, const QString& currentDesktop,
                              bool xDisplay) {
    if (!waylandPlatform) return LiveDesktopWay::window;
    if (layerShell) return LiveDesktopWay::layer;
    const QStringList desktops = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (xDisplay && desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive))
        return LiveDesktopWay::xwayland;
    return LiveDesktopWay::none;
}

LiveDesktopWay liveDesktopWay() {
    const bool wayland = qGuiApp && qGuiApp->platformName() == QLatin1String("wayland");
    return liveDesktopWay(wayland, wayland && WaylandLayerSurface::available(),
                          qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                          !qEnvironmentVariableIsEmpty("DISPLAY"));
}

QString liveDesktopUnavailable() {
    if (liveDesktopWay() != LiveDesktopWay::none) return {};
    return QStringLiteral("This desktop cannot show a live picture behind the windows: its compositor "
                          "offers no desktop layer, so the Sun plays only on walls here.");
}

std::unique_ptr<PaintedSurface> liveDesktopSurface(PaintedSurface::Painter paint, QScreen* screen) {
    switch (liveDesktopWay()) {
    case LiveDesktopWay::layer:
        // The output's bottom layer, above its wallpaper, below every window.
        return WaylandLayerSurface::create(std::move(paint),
                                           {WaylandLayerSurface::Layer::bottom, screen, {}, 0},
                                           QStringLiteral("solvane-live-desktop"));
    case LiveDesktopWay::xwayland:
        if (!screen) return nullptr;
        return XWaylandDesktopSurface::create(std::move(paint), screen->geometry(),
                                              QStringLiteral("Solvane live desktop"));
    case LiveDesktopWay::window:
    case LiveDesktopWay::none:
        break;
    }
    return nullptr;
}

void keepBelowDesktopIcons(QWindow* window, const std::vector<quint32>& ours) {
    if (qGuiApp && qGuiApp->platformName() == QLatin1String("xcb"))
        X11WindowOcclusion::keepBelowOtherDesktopWindows(window, ours);
}

void placeFullScreen(QWindow* window, const QRect& geometry) {
    const QString sway = qEnvironmentVariable("SWAYSOCK");
    if (qGuiApp && qGuiApp->platformName() == QLatin1String("xcb") && !sway.isEmpty() &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        SwayPlacement::place(window, geometry, sway);
}

WindowOcclusion* windowOcclusion(QWindow* window, QObject* parent) {
    // On sway, Wayland clients and XWayland's alike: only sway's tree sees every window.
    const QString sway = qEnvironmentVariable("SWAYSOCK");
    if (!sway.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return new SwayWindowOcclusion(window, sway, parent);
    if (qGuiApp && qGuiApp->platformName() == QLatin1String("xcb"))
        return new X11WindowOcclusion(window, parent);
    return new NeverOccluded(parent);
}

std::shared_ptr<FileSharer> fileSharer() {
    return std::make_shared<PortalFileSharer>();
}

std::shared_ptr<Notifier> notifier() {
    return std::make_shared<FreedesktopNotifier>();
}

std::shared_ptr<MotionPreference> motionPreference() {
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(':', Qt::SkipEmptyParts);
    if (desktops.contains("KDE", Qt::CaseInsensitive)) return std::make_shared<KdeMotionPreference>();
    if (std::shared_ptr<MotionPreference> gnome = GnomeMotionPreference::open()) return gnome;
    return std::make_shared<NoMotionPreference>();
}

} // namespace Platform
