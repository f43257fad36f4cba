#pragma once
// Pure layout of the screen map: the screens' frames fitted into a small rectangle, and the label of a
// tile.

#include <QRectF>
#include <QString>
#include <QStringList>
#include <vector>

namespace DisplayGeometry {
// "off" for no ids, the id itself for one, else the first id + " +" + the number of the others.
QString tileLabel(const QStringList& ids);

// The frames scaled uniformly (keeping their aspect ratio) so their union fits `into`, centred in it,
// each with the same scale and offset. Nothing for no frames or a union without width or height.
std::vector<QRectF> layout(const std::vector<QRectF>& frames, const QRectF& into);
} // namespace DisplayGeometry
