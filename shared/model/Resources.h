#pragma once
// Where the files the program carries (glossary, seed clip, help) are found: the resources folder beside
// the executable (the saver's bundle), an installed copy (<prefix>/share/solvane), else the source tree's
// resources/ when run from a build tree.

#include <QString>
#include <optional>

namespace Resources {
// The path of a carried file, or nothing when no copy exists.
std::optional<QString> path(const QString& name);
} // namespace Resources
