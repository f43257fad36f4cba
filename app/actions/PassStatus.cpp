#include "PassStatus.h"

#include "Cache.h"
#include "CacheSettings.h"
#include "Log.h"
#include "SourceStatus.h"

#include <algorithm>

QSet<QString> Actions::ownClips() {
    QSet<QString> ids;
    for (const CacheEntry& entry : Cache::entries())
        if (entry.video == entry.id + QStringLiteral(".mp4")) ids.insert(entry.id);
    return ids;
}

QStringList Actions::stillMissing(const std::optional<QSet<QString>>& inUse, const QSet<QString>& before,
                                  const QSet<QString>& after) {
    QStringList missing;
    if (inUse && !inUse->isEmpty()) {
        for (const QString& id : *inUse)
            if (!before.contains(id) && !after.contains(id)) missing << id;
        missing.sort();
    } else if (before.isEmpty() && after.isEmpty()) {
        missing << QStringLiteral("any product");
    }
    return missing;
}

Actions::PassStatus::PassStatus() : record_(Cache::lastPass()), clips_(ownClips()) {}

int Actions::PassStatus::after(const QString& action) const {
    const auto record = Cache::lastPass();
    const bool ran = record && record != record_;
    auto failed = [&action](const QString& why, int status) {
        log(action + QStringLiteral(" failed: ") + why, LogArea::cache);
        return status;
    };
    // Offline, no pass runs and none was asked for: that is no failure.
    if (CacheSettings::offline() && !ran) return 0;
    if (const auto failure = SourceStatus::unreached(record_, record)) return failed(*failure, 2);
    if (ran && !record->writeFailure.isEmpty()) return failed(record->writeFailure, 5);
    const QStringList missing = stillMissing(CacheSettings::productsInUse(), clips_, ownClips());
    if (!missing.isEmpty())
        return failed(QStringLiteral("no playable clip for ") + missing.join(QStringLiteral(", ")), 3);
    return 0;
}
