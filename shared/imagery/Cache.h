#pragma once
// The local cache of clips and stills, and the refresh pass that keeps it in line with the imagery host.
// Everything here is a static operation; the pure rules take plain inputs so checks can run them on
// fixed values.

#include "CacheEntry.h"

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace Cache {
// The verdict lines of an index, without logging; nothing when the document fails as a whole.
std::optional<QStringList> indexVerdicts(const std::optional<QByteArray>& bytes);

// The largest imagery index read, from the host or from a file given to --check-index.
inline constexpr qint64 largestIndexBytes = qint64(64) << 20;

// Two honoured requests for an immediate check are at least this far apart.
inline constexpr std::chrono::seconds manualSpacing{3600};

// An index older than this sends the pass to the origin.
inline constexpr std::chrono::seconds staleAfter{64800};

// The forward-only rule: whether the object key `candidate` may replace a file downloaded from `than`.
// Two versioned keys ("v/...") compare by their stems; anything else is left to the host's ETag (true).
bool isNewer(const QString& candidate, const std::optional<QString>& than);

// The fall-back rule: true when the host gave no usable answer, or its index was generated more than
// 18 hours before `now`. An answer without a generated time stays on the host.
bool shouldUseOrigin(bool reached, const std::optional<QDateTime>& generated, const QDateTime& now);

// The index's `generated` time: strict ISO 8601 with seconds and a zone ("Z" or "+hh:mm"); anything
// else, a time without a zone included, is nothing (a local-time reading could age the host wrongly).
std::optional<QDateTime> generatedTime(const QString& text);

// What a request is for, which decides how long it may take.
enum class Request { index, file, fragment };
struct TimeLimits {
    std::chrono::seconds stall; // no data (or no connection) for this long fails the request
    std::chrono::seconds total; // the whole transfer
};
// The index 20 s and 600 s; a clip or still 60 s and 660 s; a fragment 20 s and 120 s.
TimeLimits timeLimits(Request kind);

// Whether a check last made at `last` is due again at `now` (equal counts as due). An invalid `last`
// (never checked) is always due.
bool isDue(const QDateTime& last, std::chrono::seconds every, const QDateTime& now);

// ---- The folder and its files ----

// The cache folder, decided once per process on first use: the cacheHome setting when it holds a path,
// else $XDG_CACHE_HOME/Solvane (~/.cache/Solvane). Created with its parents; a failure is logged and the
// folder used anyway.
QString dir();
// Replaces the folder for the rest of the process (the saver taking the app's cache, and tests).
void setDir(const QString& folder);
// When set, no pass starts and recordPass writes nothing. Process-wide, default false.
bool readOnly();
void setReadOnly(bool value);

// The path of a file in the cache folder.
QString file(const QString& name);

// The standard cache-directory tag (backup tools skip a folder holding it); we write it into the
// folder when we create it, seed it or find it ours.
inline constexpr const char* tagFileName = "CACHEDIR.TAG";
// Whether the folder may be pruned and written: it is empty or missing, tagged, or holds our
// manifest.json. Tags a folder found ours. A non-empty folder of someone else's files (a cacheHome
// pointing at the user's own folder) is refused with one log line naming it.
bool claimFolder();

// The manifest's entries, in order, whose clip exists; a still that is gone is dropped from its entry.
std::vector<CacheEntry> entries();
int count();
// True when manifest.json exists.
bool isPrimed();
// First-run seed from the carried seed.mp4 and seed.json, when there is no manifest yet. Seeds under
// the pass lock, so processes starting at once seed once; when a pass holds the lock, that pass seeds.
void seedIfEmpty();
// The same, for a caller already holding the pass lock (the pass itself).
void seedIfEmptyLocked();
// Removes ".tmp" files of our own names that an interrupted process left behind; called by the pass
// under its lock, when no download of ours can be writing them.
void removeStaleTemporaries();
// Rebuilds manifest.json from the files on disk in catalogue order, taking labels and clip details from
// `products` when given. Never replaces a manifest with an empty one.
void rewriteManifest(const std::optional<std::vector<RemoteProduct>>& products = std::nullopt);
void recordPass(const LastPass& pass);
std::optional<LastPass> lastPass();

// Writes a short UTF-8 text file atomically; logs "could not write <name>: <why>" on failure.
bool note(const QString& text, const QString& path);
// Writes bytes atomically (a ".tmp" sibling, then one rename). On failure says why in `error`.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// ---- Talking to the host ----

enum class Fetched { changed, unchanged, failed };

// The host of a contract origin, set only by SOLVANE_ORIGIN_HOST; empty otherwise, and then the origin is
// NASA SDO's public archive read directly (see DirectSource.h).
QString origin();
bool originIsDirect();
// Why the latest request of the calling thread failed, in words (libcurl's reason or "HTTP <status>").
QString lastFailure();
// The host requests go to now: the origin during a pass that fell back, else the imageryHost setting.
QString host();

// Conditional download of one object key to `destination` (If-None-Match from its ".etag" sidecar when
// its ".src" sidecar holds the same key; forward-only against the ".src" sidecar). The old file and
// sidecars stay unless a complete, fitting body arrived. At most `largestBytes` are accepted.
Fetched fetch(const QString& key, const QString& destination, qint64 largestBytes = qint64(1) << 31,
              Request kind = Request::file);
// A small object (a fragment), only for status 200.
std::optional<QByteArray> get(const QString& key);

// For tests: every request gets these limits instead of timeLimits(); zero limits restore those.
void setTimeLimits(std::chrono::seconds stall, std::chrono::seconds total);

// ---- The pass ----

using Progress = std::function<void(int done, int total)>;

// One refresh pass on the calling thread (see CachePass.cpp). Single-flight within the process and
// across processes sharing the folder: with `wait` false a pass that finds another running logs
// "a refresh is already running", sets `busy` and returns. Gives the record it wrote (see
// recordPass), nothing when no pass ran, it had nothing to do, or it was stopped.
std::optional<LastPass> pass(bool check, bool everything, bool wait, const Progress& progress = {},
                             bool* busy = nullptr);

// The products a pass downloads: every catalogue product with `everything`, else those the screens
// use (every product when they name none).
QSet<QString> wantedProducts(bool everything);

// Waits, at most `longest`, until no pass runs on the cache folder (in this process or another); false
// when one still runs then, or a stop was asked for.
bool waitForRunningPass(std::chrono::seconds longest);

// Asks a running pass to stop at the next safe point; safe to call from a signal handler. The download
// in hand is abandoned and its temporary file removed; files already in place stay and are listed.
void requestStop();
bool stopRequested();

// The scheduled entry point: refuses when offline or read-only, checks the host only when due. False
// when it gave up because another pass was running.
bool refresh();
// The immediate check, at most once per manualSpacing: runs the pass and gives nothing, or gives the
// time from which the next one is allowed.
std::optional<QDateTime> refreshNow(bool everything, const Progress& progress = {});
} // namespace Cache
