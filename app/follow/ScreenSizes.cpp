#include "ScreenSizes.h"

#include "CacheSettings.h"
#include "Catalog.h"
#include "LargeStills.h"
#include "Settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace {
int deviceWidth(const QScreen* screen) {
    return int(std::lround(screen->geometry().width() * screen->devicePixelRatio()));
}
} // namespace

int ScreenSizes::widest() {
    int widest = 0;
    for (const QScreen* screen : QGuiApplication::screens())
        widest = std::max(widest, deviceWidth(screen));
    return widest;
}

QSet<QString> ScreenSizes::productsOnLargeScreens() {
    QSet<QString> products;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int index = 0; index < screens.size(); ++index) {
        if (deviceWidth(screens[index]) <= LargeStills::sharpAbove || !Settings::isEnabled(index)) continue;
        const QStringList ids = Settings::productList(index);
        if (ids.isEmpty())
            for (const CatalogProduct& product : Catalog::all())
                products.insert(product.id);
        for (const QString& id : ids)
            products.insert(id);
    }
    return products;
}

void ScreenSizes::publish() {
    // Large stills serve the desktop picture; without it they would be fetched for nothing.
    const bool desktop = Settings::configured() && Settings::desktopActive();
    CacheSettings::setScreens(desktop ? LargeStills::sizeFor(widest()) : 1024,
                              Settings::sharperClips() ? productsOnLargeScreens() : QSet<QString>{});
}
