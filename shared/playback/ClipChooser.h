#pragma once
// The chooser state of one screen: its playlist of cached clips, the cursor, the loops of the current clip
// and the clip chosen last. No drawing here: the wall view owns one and adds the screen side (loading,
// transitions, the waiting text). Main thread only.

#include "CacheEntry.h"
#include "Log.h"

#include <QStringList>
#include <functional>
#include <optional>
#include <random>
#include <vector>

// Whether the shuffle setting is on.
enum class Shuffle { off, on };
// Whether a view registers what it shows and avoids what other screens show (previews do not).
enum class Claims { shared, skipped };

class ClipChooser {
public:
    // Gives the cached entries in the cache's order; called whenever the playlist is re-formed.
    using EntrySource = std::function<std::vector<CacheEntry>()>;

    // `wanted`: the product ids the screen is to show, in order; empty means every cached product.
    ClipChooser(QStringList wanted, Claims claims, EntrySource entries, LogArea area = LogArea::app);
    ~ClipChooser(); // releases this chooser's claim
    ClipChooser(const ClipChooser&) = delete;
    ClipChooser& operator=(const ClipChooser&) = delete;

    // Re-forms the playlist from the cache: the wanted ids in their order (ids not cached are skipped),
    // or everything cached (also while none of the wanted ids is cached); shuffled when asked. Leaves
    // the cursor alone.
    void reload(Shuffle shuffle);

    // The choosing step at the start of playing: the entry to show next, claimed for this screen. Nothing
    // when there is nothing cached to play; then it logs "nothing to play here yet; looking again in 5 s"
    // and the view waits and asks again.
    std::optional<CacheEntry> choose(Shuffle shuffle);

    enum class AtEnd { playAgain, playNext };
    // The current clip reached its end: logs the loop count and says whether to play it again from the
    // start or to choose the next one. `loops` is the loops setting.
    AtEnd clipEnded(qint64 loops);

    // Next (delta >= 0) or previous (delta < 0) clip on request. False when the playlist is empty and
    // nothing should happen; true when the view should choose and play now.
    bool step(int delta);

    // Gives up this screen's claim (the view stopped).
    void release();

    const QStringList& wanted() const { return wanted_; }
    Claims claims() const { return claims_; }
    const std::vector<CacheEntry>& playlist() const { return playlist_; }
    int index() const { return index_; }
    qint64 loopsDone() const { return loopsDone_; }
    const std::optional<QString>& lastID() const { return lastID_; }

    // The playlist for these cached entries, in playing order before any shuffle: every cached entry
    // when `wanted` is empty or names nothing cached.
    static std::vector<CacheEntry> form(const QStringList& wanted, const std::vector<CacheEntry>& cached);

    // When a screen that wants `wanted` plays `shown` because none of its own is cached yet, the words
    // for its caption ("AIA 171 Å is not downloaded yet; showing AIA 193 Å"); nothing otherwise. `why`,
    // asked only for a stand-in, may name the reason in place of "yet" ("… is not downloaded: offline
    // is on; showing …").
    static std::optional<QString> standIn(const QStringList& wanted, const CacheEntry& shown,
                                          const std::function<QString()>& why = {});

private:
    QStringList wanted_;
    Claims claims_;
    EntrySource entries_;
    LogArea area_;
    std::vector<CacheEntry> playlist_;
    int index_ = 0;
    qint64 loopsDone_ = 0;
    std::optional<QString> lastID_;
    std::mt19937 random_{std::random_device{}()};
};
