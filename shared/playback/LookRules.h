#pragma once
// Which looks a product allows, and how a stored look is resolved and cycled. The Look vocabulary itself
// lives with the settings (Look.h); these rules belong to playback.

#include "Look.h"

#include <QString>
#include <vector>

// Whether the system's reduce-motion preference is on (running difference flickers).
enum class ReduceMotion { off, on };

namespace Looks {
// The looks a product allows in cycling order: "punch" products have no base difference.
std::vector<Look> allowed(const QString& product);
// The look itself when the product allows it, else natural.
Look resolved(const QString& product, Look look);
// As above, and running difference turns into natural when motion is to be reduced.
Look resolved(const QString& product, Look look, ReduceMotion reduceMotion);
// The allowed look after this one, wrapping; natural for a look the product does not allow.
Look next(const QString& product, Look look);
// As above over the allowed looks without running difference when motion is to be reduced; natural when
// the look is not among them.
Look next(const QString& product, Look look, ReduceMotion reduceMotion);
} // namespace Looks
