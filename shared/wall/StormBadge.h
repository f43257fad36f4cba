#pragma once
// The wall's optional badge naming a NOAA space weather scale at 1 or more ("G2 geomagnetic storm"):
// where it goes, how large it is, and how it is drawn. It sits in the top-left corner (the close button
// has the top-right one) and never covers the Sun's disc: where it would, it is not shown.

#include "WallChrome.h"

#include <QPainter>
#include <QRectF>
#include <QStringList>
#include <optional>

namespace StormBadge {

// The Sun's disc in a picture drawn in `picture`: centred, 0.82 of its shorter side across. AIA's 1k
// frames show the disc about 0.78 of the frame across; the rest is room for the bright limb.
inline constexpr double discFraction = 0.82;

// The badge's size for its lines at the caption size (padding included); empty without lines.
QSizeF size(const QStringList& lines, const ChromeSizes& sizes);

// Where the badge goes in a view of `bounds` whose picture lies in `picture` (empty while no frame
// shows: a centred square of the shorter side, as every frame is): `gap` in from the top-left corner.
// Nothing when the badge would reach into the disc there, or when it has no size.
std::optional<QRectF> place(QSizeF bounds, const QRectF& picture, QSizeF badge, double gap);

// The colour of a level's mark, NOAA's own: yellow for 1 through orange to dark red for 5.
QColor levelColour(int level);

// Draws the badge: a dark plate, each line led by a mark in its level's colour.
void paint(QPainter& painter, const QRectF& rect, const QStringList& lines, const ChromeSizes& sizes,
           double opacity);

} // namespace StormBadge
