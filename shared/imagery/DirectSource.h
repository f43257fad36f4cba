#pragma once
// The built-in source: NASA SDO's public browse archive, read directly. The pass lists the day folders
// that can hold new images, downloads the newest image of each 20-minute slot it does not hold yet, and
// has the clip maker (see ClipMaking.h) assemble each wanted product's 48-hour clip and still in the
// cache, with versioned keys as a mirror would give them. Images live in the cache folder's "direct"
// folder; what a stopped pass downloaded stays and is not fetched again.

#include "Cache.h"
#include "PassDeadline.h"
#include "RemoteProduct.h"

class DirectStore;

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <chrono>
#include <vector>

namespace DirectSource {

// What lastpass.json names as the host of a pass that used this source.
inline constexpr const char* hostLabel = "sdo.gsfc.nasa.gov (direct)";
// The credit the images are published under.
inline constexpr const char* credit = "Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams";

// The archive's address: SOLVANE_SDO_BASE when set, else https://sdo.gsfc.nasa.gov. Nothing, with the
// reason, when the override is not an https address.
std::optional<QString> base(QString* error = nullptr);

struct Outcome {
    bool reached = false;                // some day folder was listed (or was unchanged)
    QString reason;                      // why not, in words
    int moved = 0;                       // clips made
    QStringList failed;                  // wanted products left without a new clip
    QString newest;                      // ISO 8601 UTC of the newest image on disk among the wanted products
    std::vector<RemoteProduct> products; // what the cache now holds from this source, for the manifest
    // "can't write to ~/.cache/Solvane: <the system's reason>" when the cache folder refused a write; the
    // pass then stopped downloading and making clips.
    QString writeFailure;
    // What the deadline cut short, in words; the rest comes with the next pass.
    QString cutShort;
};

// The deadline a pass starts with, for listing the day folders; run() sets the budget for the rest
// (Browse::passBudget) once it knows how many images are missing.
PassDeadline startingDeadline();
// For tests: the budget of a whole fill and the shortest one (normally 15 and 2 minutes).
void setBudgets(std::chrono::seconds fill, std::chrono::seconds shortest);

// One pass for the products in `wanted` (catalogue ids). A product with no clip on disk gets a playable
// one from the newest images first (and the manifest is rewritten at once), then all are completed.
// Downloads end when `deadline` runs out; the clips are then made from what arrived. Runs on the
// caller's thread under the pass lock. `now` is the clock (benchmarks give a simulated one).
Outcome run(const QSet<QString>& wanted, const Cache::Progress& progress, PassDeadline& deadline,
            const QDateTime& now = QDateTime::currentDateTimeUtc());

// The channels a product is made of, in the clip maker's order; empty for products made elsewhere.
std::vector<int> channelsOf(const QString& productID);

// What making clips from the images held gave: the products whose clip is on disk (for the manifest),
// those given a new clip, and those left without one.
struct Made {
    std::vector<RemoteProduct> products;
    QStringList made;
    QStringList failed;
};
// Makes the clips and stills of `ids` whose slots changed since their last clip, from what `store`
// holds. Under the pass lock, on the caller's thread (the maker lowers its own priority).
Made makeClips(const QStringList& ids, DirectStore& store);

} // namespace DirectSource
