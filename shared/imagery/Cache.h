#pragma once
// The local cache of clips and stills, and the refresh pass that keeps it in line with the imagery host.

#include <QByteArray>
#include <QStringList>
#include <optional>

namespace Cache {
// The verdict lines of an index, without logging; nothing when the document fails as a whole.
std::optional<QStringList> indexVerdicts(const std::optional<QByteArray>& bytes);
} // namespace Cache
