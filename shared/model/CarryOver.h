#pragma once
// Carries a user's settings and downloaded clips over from the earlier product, Corvane, once: at the
// first launch of the app (guarded by the migratedFromCorvane setting).

#include <QString>

namespace CarryOver {
// The earlier product's settings domain.
inline constexpr const char* oldDomain = "example.tessly.corvane";

// The earlier product's cache folder for a cache folder: "Corvane" in the same parent.
// "/c/Library/Caches/Solvane" gives "/c/Library/Caches/Corvane".
QString defaultOldCache(const QString& beside);
} // namespace CarryOver
