#include "Desktop.h"

#include "Settings.h"

#include <QSet>
#include <algorithm>

QString Desktop::fileName(const CacheEntry& entry) {
    QString stamp = entry.stillUpdated.value_or(entry.updated);
    stamp.replace(QLatin1Char(':'), QLatin1Char('-'));
    return entry.id + QLatin1Char('-') + stamp + QStringLiteral(".png");
}

std::vector<Desktop::Pick> Desktop::plan(const std::vector<CacheEntry>& entries, const QStringList& choices,
                                         int screenCount, qint64 counter) {
    std::vector<CacheEntry> stills;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(stills),
                 [](const CacheEntry& entry) { return entry.still.has_value(); });

    QSet<QString> used;
    std::vector<Pick> picks;
    for (int s = 0; s < screenCount; ++s) {
        const QString entry = choices.isEmpty() ? QString() : choices.at(s % choices.size());
        if (ScreenChoice::parse(entry).isOff()) continue;

        std::vector<const CacheEntry*> candidates;
        const QStringList ids = Settings::ids(entry);
        if (ids.isEmpty()) {
            for (const CacheEntry& still : stills)
                candidates.push_back(&still);
        } else {
            for (const QString& id : ids) {
                const auto found = std::find_if(stills.begin(), stills.end(),
                                                [&](const CacheEntry& still) { return still.id == id; });
                if (found != stills.end()) candidates.push_back(&*found);
            }
        }
        if (candidates.empty()) continue;

        const qint64 n = qint64(candidates.size());
        // The counter may be any stored integer: keep the start index inside the list.
        const qint64 start = ((counter % n + n) % n + s) % n;
        qint64 chosen = start;
        for (qint64 k = 0; k < n; ++k) {
            const qint64 i = (start + k) % n;
            if (!used.contains(candidates[size_t(i)]->id)) {
                chosen = i;
                break;
            }
        }
        const CacheEntry& pick = *candidates[size_t(chosen)];
        used.insert(pick.id);
        picks.push_back({s, pick.id, *pick.still, fileName(pick)});
    }
    return picks;
}
