// The typed accessors. Every getter fetches its value once (one lock, one look at the file) and applies
// the key's read rule, so a concurrent writer can never make a read see half of two values.

#include "Settings.h"

#include "BuildInfo.h"
#include "Log.h"
#include "LoginItem.h"
#include "QtDates.h"
#include "SettingsStore.h"

#include <algorithm>

namespace Settings {

const char* const defaultStoreHost = BuildInfo::storeHost;

namespace {

QVariant stored(Key key) {
    return d().value(key);
}

bool flag(Key key) {
    return SettingsStore::asBoolean(stored(key));
}

// Booleans that are on until the user turns them off ask first whether any value is stored.
bool flagDefaultingOn(Key key) {
    const QVariant value = stored(key);
    return value.isValid() ? SettingsStore::asBoolean(value) : true;
}

qint64 whole(Key key) {
    return SettingsStore::asWholeNumber(stored(key)).value_or(0);
}

QDateTime dateOrDistantPast(Key key) {
    return SettingsStore::asDate(stored(key)).value_or(distantPast());
}

QString host(Key key, const char* fallback) {
    return hostName(SettingsStore::asString(stored(key)).value_or(QString::fromLatin1(fallback)));
}

qint64 loopsRule(qint64 value) {
    return value < 2 ? 1 : value;
}

qint64 lagRule(qint64 value) {
    return value == 3 ? 3 : 1;
}

struct LoginItemHolder {
    std::mutex mutex;
    std::shared_ptr<LoginItem> item;
};

LoginItemHolder& loginItemHolder() {
    static LoginItemHolder holder;
    return holder;
}

std::shared_ptr<LoginItem> currentLoginItem() {
    LoginItemHolder& holder = loginItemHolder();
    std::lock_guard lock(holder.mutex);
    return holder.item;
}

} // namespace

SettingsStore& d() {
    static SettingsStore store(SettingsStore::fileFor(QString::fromLatin1(domain)));
    return store;
}

QDateTime distantPast() {
    return compat::utcDateTime(QDate(1, 1, 1), QTime(0, 0));
}

Mode mode() {
    return Modes::fromRawValue(SettingsStore::asString(stored(Key::mode)).value_or(QString()))
        .value_or(Mode::desktop);
}

void setMode(Mode value) {
    d().set(Key::mode, Modes::rawValue(value));
}

QStringList products() {
    return SettingsStore::asStringList(stored(Key::products)).value_or(defaultProducts());
}

void setProducts(const QStringList& value) {
    d().set(Key::products, value);
}

double idleMinutes() {
    const double value = SettingsStore::asNumber(stored(Key::idleMinutes)).value_or(0.0);
    return value > 0 ? value : 5.0;
}

void setIdleMinutes(double value) {
    d().set(Key::idleMinutes, value);
}

bool lockOnDismiss() {
    return flagDefaultingOn(Key::lockOnDismiss);
}

void setLockOnDismiss(bool value) {
    d().set(Key::lockOnDismiss, value);
}

bool offline() {
    return flag(Key::offline);
}

void setOffline(bool value) {
    d().set(Key::offline, value);
}

double refreshMinutes() {
    return refreshInterval(SettingsStore::asNumber(stored(Key::refreshMinutes)));
}

void setRefreshMinutes(double value) {
    d().set(Key::refreshMinutes, value == 720.0 ? 720.0 : 1440.0);
}

QDateTime lastCheck() {
    return dateOrDistantPast(Key::lastCheck);
}

void setLastCheck(const QDateTime& value) {
    d().set(Key::lastCheck, value);
}

QDateTime lastManual() {
    return dateOrDistantPast(Key::lastManual);
}

void setLastManual(const QDateTime& value) {
    d().set(Key::lastManual, value);
}

QString storeHost() {
    return host(Key::storeHost, defaultStoreHost);
}

void setStoreHost(const QString& value) {
    d().set(Key::storeHost, value);
}

QString imageryHost() {
    return host(Key::imageryHost, defaultImageryHost);
}

void setImageryHost(const QString& value) {
    d().set(Key::imageryHost, value);
}

bool attribution() {
    const QVariant value = stored(Key::attribution);
    if (value.isValid()) return SettingsStore::asBoolean(value);
    return mode() == Mode::kiosk;
}

void setAttribution(bool value) {
    d().set(Key::attribution, value);
}

bool shuffle() {
    return flag(Key::shuffle);
}

void setShuffle(bool value) {
    d().set(Key::shuffle, value);
}

qint64 loops() {
    return loopsRule(whole(Key::loops));
}

void setLoops(qint64 value) {
    d().set(Key::loops, loopsRule(value));
}

Transition transition() {
    return Transitions::fromRawValue(SettingsStore::asString(stored(Key::transition)).value_or(QString()))
        .value_or(Transition::black);
}

void setTransition(Transition value) {
    d().set(Key::transition, Transitions::rawValue(value));
}

bool desktop() {
    return flag(Key::desktop);
}

void setDesktop(bool value) {
    d().set(Key::desktop, value);
}

qint64 desktopCounter() {
    return whole(Key::desktopCounter);
}

void setDesktopCounter(qint64 value) {
    d().set(Key::desktopCounter, value);
}

std::optional<QStringList> previousDesktop() {
    return SettingsStore::asStringList(stored(Key::previousDesktop));
}

void setPreviousDesktop(const std::optional<QStringList>& value) {
    if (value)
        d().set(Key::previousDesktop, *value);
    else
        d().remove(Key::previousDesktop);
}

bool configured() {
    return flag(Key::configured);
}

void setConfigured(bool value) {
    d().set(Key::configured, value);
}

bool captionUTC() {
    return flag(Key::captionUTC);
}

void setCaptionUTC(bool value) {
    d().set(Key::captionUTC, value);
}

bool frameClock() {
    return flagDefaultingOn(Key::frameClock);
}

void setFrameClock(bool value) {
    d().set(Key::frameClock, value);
}

qint64 infoEvery() {
    const qint64 value = whole(Key::infoEvery);
    return value > 0 ? value : 0;
}

void setInfoEvery(qint64 value) {
    d().set(Key::infoEvery, value < 0 ? qint64(0) : value);
}

Look look() {
    return Looks::fromRawValue(SettingsStore::asString(stored(Key::look)).value_or(QString()))
        .value_or(Look::natural);
}

void setLook(Look value) {
    d().set(Key::look, Looks::rawValue(value));
}

qint64 runningLagSlots() {
    return lagRule(whole(Key::runningLagSlots));
}

void setRunningLagSlots(qint64 value) {
    d().set(Key::runningLagSlots, lagRule(value));
}

bool liveDesktop() {
    return flag(Key::liveDesktop);
}

void setLiveDesktop(bool value) {
    d().set(Key::liveDesktop, value);
}

bool pauseOnBattery() {
    return flagDefaultingOn(Key::pauseOnBattery);
}

void setPauseOnBattery(bool value) {
    d().set(Key::pauseOnBattery, value);
}

bool liveStatusIcon() {
    return flag(Key::liveStatusIcon);
}

void setLiveStatusIcon(bool value) {
    d().set(Key::liveStatusIcon, value);
}

bool notifyFlares() {
    return flag(Key::notifyFlares);
}

void setNotifyFlares(bool value) {
    d().set(Key::notifyFlares, value);
}

QStringList announcedFlares() {
    return SettingsStore::asStringList(stored(Key::announcedFlares)).value_or(QStringList());
}

void setAnnouncedFlares(const QStringList& value) {
    d().set(Key::announcedFlares, value);
}

bool sunOnLockScreen() {
    return flag(Key::sunOnLockScreen);
}

void setSunOnLockScreen(bool value) {
    d().set(Key::sunOnLockScreen, value);
}

std::optional<QStringList> previousLockScreen() {
    return SettingsStore::asStringList(stored(Key::previousLockScreen));
}

void setPreviousLockScreen(const std::optional<QStringList>& value) {
    if (value)
        d().set(Key::previousLockScreen, *value);
    else
        d().remove(Key::previousLockScreen);
}

QString flareNoticeClass() {
    const QString value = SettingsStore::asString(stored(Key::flareNoticeClass)).value_or(QString());
    for (const char* known : {"C", "M1", "M5", "X1"})
        if (value == QLatin1String(known)) return value;
    return QStringLiteral("M5");
}

void setFlareNoticeClass(const QString& value) {
    d().set(Key::flareNoticeClass, value);
}

qint64 notifyStorms() {
    const qint64 value = whole(Key::notifyStorms);
    return value >= 0 && value <= 5 ? value : 0;
}

void setNotifyStorms(qint64 value) {
    d().set(Key::notifyStorms, std::clamp<qint64>(value, 0, 5));
}

QStringList announcedStorms() {
    return SettingsStore::asStringList(stored(Key::announcedStorms)).value_or(QStringList());
}

void setAnnouncedStorms(const QStringList& value) {
    d().set(Key::announcedStorms, value);
}

bool spaceWeatherBadge() {
    const QVariant value = stored(Key::spaceWeatherBadge);
    if (value.isValid()) return SettingsStore::asBoolean(value);
    return mode() == Mode::kiosk;
}

void setSpaceWeatherBadge(bool value) {
    d().set(Key::spaceWeatherBadge, value);
}

bool followNasa() {
    return flagDefaultingOn(Key::followNasa);
}

void setFollowNasa(bool value) {
    d().set(Key::followNasa, value);
}

bool useMeteredNetwork() {
    return flag(Key::useMeteredNetwork);
}

void setUseMeteredNetwork(bool value) {
    d().set(Key::useMeteredNetwork, value);
}

bool sharperClips() {
    return flag(Key::sharperClips);
}

void setSharperClips(bool value) {
    d().set(Key::sharperClips, value);
}

bool desktopActive() {
    return mode() == Mode::desktop || desktop();
}

void useLoginItem(std::shared_ptr<LoginItem> item) {
    LoginItemHolder& holder = loginItemHolder();
    std::lock_guard lock(holder.mutex);
    holder.item = std::move(item);
}

bool openAtLogin() {
    const std::shared_ptr<LoginItem> item = currentLoginItem();
    return item && item->isEnabled();
}

void setOpenAtLogin(bool value) {
    const std::shared_ptr<LoginItem> item = currentLoginItem();
    if (!item) return;
    if (const std::optional<QString> failure = item->setEnabled(value))
        log(QStringLiteral("login item: ") + *failure, LogArea::app);
}

} // namespace Settings
