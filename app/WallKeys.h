#pragma once
// What a wall tells about its keys: an overlay listing them (asked for with ? or F1) that fades on its
// own, and a small mark while the wall is paused. Both are children of the wall's window, found again
// by their object names, so the controller keeps no extra state. GUI thread only.

#include <QStringList>
#include <utility>
#include <vector>

class WallWindow;

namespace WallKeys {
// The overlay's rows: a key (or group of keys) and what it does, shown in two aligned columns.
std::vector<std::pair<QString, QString>> keys();
// The rows as lines of text ("Esc: end the wall"), for screen readers.
QStringList lines();
// Shows the overlay on every window, or takes it down when it is up. It fades after a few seconds.
void toggleOverlay(const std::vector<WallWindow*>& windows);
// Whether a window shows the overlay now (for tests).
bool overlayShown(const WallWindow* window);
// Shows or takes down the paused mark in a window's top-left corner.
void showPaused(WallWindow* window, bool paused);
bool pausedShown(const WallWindow* window);
} // namespace WallKeys
