// The per-screen accessors and the kiosk preset: the parts of Settings built on `products` and on
// other accessors rather than on single keys.

#include "Settings.h"

#include "SettingsStore.h"

namespace Settings {

ScreenChoice screenChoice(int screen) {
    return screenChoice(products(), screen);
}

QStringList productList(int screen) {
    return screenChoice(screen).ids();
}

bool isEnabled(int screen) {
    return !screenChoice(screen).isOff();
}

std::optional<QSet<QString>> productsInUse() {
    return inUse(products());
}

void enterKioskPreset(Mode was) {
    // Re-entering from Kiosk must not overwrite the remembered value with the preset's own.
    if (was != Mode::kiosk) d().set(Key::offlineBeforeKiosk, offline());
    setOffline(true);
    setAttribution(true);
    setSpaceWeatherBadge(true);
    setOpenAtLogin(true);
}

void leaveKioskPreset() {
    setOffline(d().boolean(Key::offlineBeforeKiosk));
    d().remove(Key::attribution);
    d().remove(Key::spaceWeatherBadge);
}

} // namespace Settings
