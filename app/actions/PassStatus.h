#pragma once
// The exit status of --refresh and --prime, from what the cache held before the pass and after it.

#include "CacheEntry.h"

#include <QSet>
#include <QString>
#include <chrono>
#include <optional>

namespace Actions {

// A command-line pass waits at most this long for a pass that another process (the application) runs:
// longer than a pass may talk to its source, with room for making the clips.
inline constexpr std::chrono::seconds longestWait{20 * 60};

// The products with a clip of their own on disk (the built-in clip is nobody's).
QSet<QString> ownClips();

// The wanted products that have no clip after the pass and had none before it: with `inUse` naming
// products, those of them; otherwise (every product) all of them when not one has a clip.
QStringList stillMissing(const std::optional<QSet<QString>>& inUse, const QSet<QString>& before,
                         const QSet<QString>& after);

class PassStatus {
public:
    // Takes note of the cache before the pass.
    PassStatus();

    // 2 when no source answered the pass that ran, 5 when the cache folder refused a write, 3 when a
    // product the screens use got no playable clip and had none before, else 0; a failure is logged in
    // one line led by `action` ("refresh", "prime"). A pass that recorded nothing counts by the clips.
    int after(const QString& action) const;

private:
    std::optional<Cache::LastPass> record_;
    QSet<QString> clips_;
};

} // namespace Actions
