#include "ShownNow.h"

#include "Cache.h"
#include "ClipAsset.h"
#include "Settings.h"
#include "SolarTime.h"

#include <algorithm>

std::optional<WallView::Shown> shownNow(const std::vector<WallView*>& walls) {
    for (const WallView* wall : walls)
        if (wall)
            if (auto shown = wall->shown()) return shown;
    return newestShown(Settings::productList(0));
}

std::optional<WallView::Shown> newestShown(const QStringList& ids) {
    const std::vector<CacheEntry> entries = Cache::entries();
    if (entries.empty()) return std::nullopt;
    auto chosen = entries.begin();
    for (const QString& id : ids) {
        const auto found =
            std::find_if(entries.begin(), entries.end(), [&](const CacheEntry& e) { return e.id == id; });
        if (found != entries.end()) {
            chosen = found;
            break;
        }
    }
    WallView::Shown shown;
    shown.entry = *chosen;
    shown.file = Cache::file(chosen->video);
    std::optional<int> slotTotal;
    // A clip that cannot be read still names a frame; taking it then fails with the reason logged.
    if (const auto asset = ClipAsset::open(shown.file))
        slotTotal = SolarTime::slotCount(asset->durationSeconds);
    if (slotTotal) shown.seconds = SolarTime::seekSeconds(*slotTotal - 1, *slotTotal).value_or(0.0);
    std::optional<QDateTime> date;
    const QDateTime updated = QDateTime::fromString(chosen->updated, Qt::ISODateWithMs);
    if (updated.isValid()) date = updated;
    shown.provenance = Provenance::make(*chosen, date, slotTotal);
    return shown;
}
