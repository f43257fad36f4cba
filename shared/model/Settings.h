#pragma once
// Every persistent preference, read through typed accessors that apply one read rule per key. Nothing
// is cached: every caller reads at the moment it needs a value, so a change made anywhere (the
// Preferences window, another process, a hand edit) takes effect at the next read. Safe from any thread.
//
// The pure rules (plain inputs, no store) are declared first so the self checks and tests can call them
// on fixed values.

#include "Look.h"
#include "Mode.h"
#include "ScreenChoice.h"
#include "SettingsKey.h"
#include "Transition.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class LoginItem;
class SettingsStore;

namespace Settings {

// The settings domain; its file is $XDG_CONFIG_HOME/<domain>.plist.
inline constexpr const char* domain = "example.tessly.solvane";

// Deployment values: the product's web host (link and QR card; the build's, empty when it names none), and
// no imagery mirror: the cache then reads NASA SDO's public images itself.
extern const char* const defaultStoreHost;
inline constexpr const char* defaultImageryHost = "";

// What `products` reads when it holds no usable list: one product per screen, repeating.
QStringList defaultProducts();

// ---- Pure rules ----

// The `refreshMinutes` read rule: 720 (twice a day) survives, everything else, absence included, is
// 1440 (once a day).
double refreshInterval(std::optional<double> stored);

// The host normaliser: drops every "https://" and "http://", then trims slashes and spaces at both
// ends. A path inside the value stays.
QString hostName(const QString& value);

// The choice screen `screen` makes under a `products` list: entry `screen` modulo the count, and all
// when the list is empty.
ScreenChoice screenChoice(const QStringList& products, int screen);

// The ids of an entry's list; empty for all and off.
QStringList ids(const QString& entry);

// The form the Preferences grid and the self checks use: all is empty, off is {"off"}, a list its ids.
QStringList choice(const QString& entry);

// The products the cache must keep current for a `products` list; nothing means every product (an
// empty list, any screen showing all, or every screen off).
std::optional<QSet<QString>> inUse(const QStringList& products);

// ---- The store ----

// The process-wide store of the settings domain, created on first use. Tests re-root it with
// d().useFile(...) or by setting XDG_CONFIG_HOME before the first use. The keys without an accessor
// below (cacheHome, appearance, installUpdatesNow, checkUpdatesNow, updateFeed, wallHintShown,
// offlineBeforeKiosk, migratedFromCorvane) are read and written here by their users, e.g.
// d().boolean(Key::wallHintShown). A window that stores many settings at once does so inside a
// SettingsStore::Batch, which saves once. A reader that must not write the app's file (the screen
// saver) points d() at a file of its own with useFile() and then registers the app's file beneath it
// with registerFallbackFile().
SettingsStore& d();

// What `lastCheck` and `lastManual` read when nothing usable is stored: 0001-01-01T00:00:00Z.
QDateTime distantPast();

// ---- Accessors: each getter applies its key's read rule, each setter its write rule ----

Mode mode();
void setMode(Mode value);
// The per-screen entries; "rainbow", "171", "304" when absent or not an array of strings.
QStringList products();
void setProducts(const QStringList& value);
// Above 0, else 5. Stored as given.
double idleMinutes();
void setIdleMinutes(double value);
bool lockOnDismiss(); // absent: true
void setLockOnDismiss(bool value);
bool offline();
void setOffline(bool value);
// 720 or 1440; see refreshInterval. The setter stores 720 for exactly 720 and 1440 for anything else.
double refreshMinutes();
void setRefreshMinutes(double value);
QDateTime lastCheck(); // distantPast() when absent or not a date
void setLastCheck(const QDateTime& value);
QDateTime lastManual();
void setLastManual(const QDateTime& value);
// hostName of the stored value or the default. Setters store the text exactly as given.
QString storeHost();
void setStoreHost(const QString& value);
QString imageryHost();
void setImageryHost(const QString& value);
// Absent: whether mode() is kiosk.
bool attribution();
void setAttribution(bool value);
bool shuffle();
void setShuffle(bool value);
// Below 2 reads and stores as 1.
qint64 loops();
void setLoops(qint64 value);
Transition transition(); // default black
void setTransition(Transition value);
bool desktop();
void setDesktop(bool value);
qint64 desktopCounter();
void setDesktopCounter(qint64 value);
// The pictures to put back; setting nothing removes the key.
std::optional<QStringList> previousDesktop();
void setPreviousDesktop(const std::optional<QStringList>& value);
bool configured();
void setConfigured(bool value);
bool captionUTC();
void setCaptionUTC(bool value);
bool frameClock(); // absent: true
void setFrameClock(bool value);
// Above 0, else 0 (never); negative input is stored as 0.
qint64 infoEvery();
void setInfoEvery(qint64 value);
Look look(); // default natural
void setLook(Look value);
// 3 or 1: 3 stays 3, every other value is 1, on read and on write.
qint64 runningLagSlots();
void setRunningLagSlots(qint64 value);
bool liveDesktop();
void setLiveDesktop(bool value);
bool pauseOnBattery(); // absent: true
void setPauseOnBattery(bool value);
bool liveStatusIcon();
void setLiveStatusIcon(bool value);
// A desktop notification when a flare of flareNoticeClass or above peaks; off unless turned on.
bool notifyFlares();
void setNotifyFlares(bool value);
// The flares already announced, as their begin times (ISO 8601 UTC); absent or not a list reads empty.
QStringList announcedFlares();
void setAnnouncedFlares(const QStringList& value);
// The lock screen follows the first screen's desktop still while the desktop picture is active.
bool sunOnLockScreen();
void setSunOnLockScreen(bool value);
// What the lock screen showed before, as its adapter read it; setting nothing removes the key.
std::optional<QStringList> previousLockScreen();
void setPreviousLockScreen(const std::optional<QStringList>& value);
// The weakest flare announced: "C", "M1", "M5" or "X1"; absent or anything else reads "M5".
QString flareNoticeClass();
void setFlareNoticeClass(const QString& value);
// Geomagnetic storms announced: 0 none, n those of G n and above; absent or outside 0 ... 5 reads 0.
qint64 notifyStorms();
void setNotifyStorms(qint64 value);
// The storms already announced, as the times they began (ISO 8601 UTC); absent or not a list reads empty.
QStringList announcedStorms();
void setAnnouncedStorms(const QStringList& value);
// The wall's badge naming a NOAA space weather scale at 1 or more; absent: on only in Kiosk.
bool spaceWeatherBadge();
void setSpaceWeatherBadge(bool value);

// Light passes keep the shown products' newest images current while the Sun is shown; absent: true.
bool followNasa();
void setFollowNasa(bool value);
// Light passes and 48-hour fills also on a metered network; absent: false.
bool useMeteredNetwork();
void setUseMeteredNetwork(bool value);
// 2048-pixel clips for screens wider than 1440 device pixels (about four times the download); absent:
// false.
bool sharperClips();
void setSharperClips(bool value);

// True when mode() is desktop (absent or unrecognised included), or else when desktop() is on.
bool desktopActive();

// ---- The login item ----

// Hands Settings the login-item port (the app passes Platform::loginItem() at start; tests a fake).
// Without one, openAtLogin reads false and writes do nothing.
void useLoginItem(std::shared_ptr<LoginItem> item);
// Whether the app starts at login. Setting it (un)registers; a failure logs "login item: " + the reason
// in area app and is otherwise ignored.
bool openAtLogin();
void setOpenAtLogin(bool value);

// ---- Per-screen choices, reading `products` at every call ----

ScreenChoice screenChoice(int screen);
// The ids a screen plays; empty for both all and off (ask isEnabled to tell them apart).
QStringList productList(int screen);
// False exactly when the screen's choice is off.
bool isEnabled(int screen);
// inUse of the current `products`.
std::optional<QSet<QString>> productsInUse();

// ---- The kiosk preset, called by Preferences after storing the new mode ----

// Remembers `offline` (unless coming from Kiosk itself), then turns offline, attribution, the space
// weather badge and the login item on.
void enterKioskPreset(Mode was);
// Puts `offline` back as it was before Kiosk and lets attribution and the badge read their defaults
// again.
void leaveKioskPreset();

} // namespace Settings
