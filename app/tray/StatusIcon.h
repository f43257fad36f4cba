#pragma once
// The pictures of the tray item: our sun symbol, and the live Sun made from the newest cached frame (a
// round 18-point crop for the icon, a 160-point-wide preview for the top of the menu). GUI thread only.

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace StatusIcon {
inline constexpr int iconPoints = 18;
inline constexpr int previewPoints = 160;

// The carried sun symbol (resources/icons/solvane.svg), drawn by hand when the file is missing.
QIcon sunSymbol();

// The frame scaled to 160 points wide, as tall as its aspect requires (width taken as at least 1).
QImage preview(const QImage& frame, qreal devicePixelRatio = 1);

// An 18 x 18 point icon showing the frame clipped to the circle inscribed in the square inset by one
// point; drawn at 1x and 2x so a scaled desktop stays sharp.
QIcon liveIcon(const QImage& frame);
QPixmap roundCrop(const QImage& frame, qreal devicePixelRatio);
} // namespace StatusIcon
