#pragma once
// What the connected screens ask of the imagery: stills as wide as the widest screen showing the desktop
// picture, and 2048-pixel clips for the products large screens show when the person opted in. GUI
// thread (it reads the screen list); the passes read the answer through CacheSettings.

#include <QSet>
#include <QString>

namespace ScreenSizes {

// The widest connected screen, in device pixels; 0 with none.
int widest();

// The products shown on screens wider than 1440 device pixels (every product when such a screen shows
// all of them); empty when there is none.
QSet<QString> productsOnLargeScreens();

// Tells the passes what the screens need now (CacheSettings::setScreens); called before each pass.
void publish();

} // namespace ScreenSizes
