#pragma once
// One product on disk as the manifest lists it, and the record of the latest refresh pass.

#include "RemoteProduct.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct CacheEntry {
    QString id;
    QString label;
    QString video;   // file name inside the cache folder: id + ".mp4", or "seed.mp4"
    QString updated; // the clip's time as the index gave it
    std::optional<QString> still;
    std::optional<QString> stillUpdated;
    std::optional<int> frameCount;
    std::optional<Integration> integration;

    static constexpr const char* typeName = "CacheEntry";

    // Lenient: only `video` is required ("no video"); see the field defaults in the .cpp.
    static std::optional<CacheEntry> fromJson(const QJsonValue& value, QString& error);
    QJsonObject toJson() const;

    // One entry from bytes; logs "cache entry unreadable: " on failure.
    static std::optional<CacheEntry> decode(const QByteArray& bytes);
    // A manifest: every element that decodes, in order (malformed ones are logged and skipped). Nothing
    // when the bytes are not a JSON array, with the reason in `error`.
    static std::optional<std::vector<CacheEntry>> list(const QByteArray& bytes, QString* error = nullptr);

    bool operator==(const CacheEntry&) const = default;
};

namespace Cache {
struct LastPass {
    QString finished; // ISO 8601 UTC
    bool check = false;
    bool everything = false;
    QString host;
    bool usedOrigin = false;
    int moved = 0;
    int pruned = 0;
    int listed = 0;
    QStringList failed; // sorted
    // Whether a source answered with a product list; when none did, `reason` says why in words
    // (the transfer library's own reason, or what was wrong with the answer).
    bool reached = true;
    QString reason{};
    // The time of the newest imagery the pass left in the cache (ISO 8601 UTC), empty when unknown.
    QString newest{};
    // When the cache folder refused a write, what and why ("can't write to ~/.cache/Solvane: No space
    // left on device"): the pass stopped there although the source answered. Empty otherwise.
    QString writeFailure{};
    // When the pass ran out of the time it may take, what was left ("cut short after 2 minutes, the time
    // a pass may take: 40 of 300 images not fetched"); the next pass goes on. Empty otherwise.
    QString cutShort{};

    QJsonObject toJson() const;
    // Strict: every key must be present with its type; `error` says which is not. The later keys
    // (reached, reason, newest, writeFailure, cutShort) may be absent, as in files written before they
    // existed.
    static std::optional<LastPass> fromJson(const QJsonValue& value, QString& error);
    bool operator==(const LastPass&) const = default;
};
} // namespace Cache
