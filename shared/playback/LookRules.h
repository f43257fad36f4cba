#pragma once
// Which looks a product allows, and how a stored look is resolved and cycled. The Look vocabulary itself
// lives with the settings (Look.h); these rules belong to playback.

#include "Look.h"

#include <QString>
#include <optional>
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
// As above, and a difference look (running or base) turns into natural on a clip of one real frame,
// where it would show a flat grey square.
Look resolved(const QString& product, Look look, ReduceMotion reduceMotion, std::optional<int> realFrames);
// The caption's note when a difference look was asked for on a clip of one real frame; empty otherwise.
QString singleFrameNote(Look asked, std::optional<int> realFrames);
// The allowed look after this one, wrapping; natural for a look the product does not allow.
Look next(const QString& product, Look look);
// As above over the allowed looks without running difference when motion is to be reduced; natural when
// the look is not among them.
Look next(const QString& product, Look look, ReduceMotion reduceMotion);
} // namespace Looks
