#pragma once
// The rendering look, stored in the `look` setting as its raw value. Only the vocabulary lives here, so
// the settings can read it; the image operations belong to playback.

#include <QString>
#include <array>
#include <optional>

enum class Look { natural, detail, running, base };

namespace Looks {
inline constexpr std::array<Look, 4> allCases{Look::natural, Look::detail, Look::running, Look::base};

QString rawValue(Look look);
// The look with that raw value (compared exactly), or nothing; callers then use natural.
std::optional<Look> fromRawValue(const QString& raw);
QString label(Look look);
} // namespace Looks
