#pragma once
// Turns what is on screen, or what is newest in the cache, into files that carry their own provenance: a
// PNG frame with text chunks, a JSON sidecar name for a saved frame, and an MP4 clip with metadata.
// Stateless; safe from any thread. Failures are logged in the app area and come back as nothing/false.

#include "Provenance.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>

namespace Share {

// The keyword of the chunk that carries the provenance record.
inline constexpr const char* provenanceKeyword = "Orvelle-Provenance";

// The PNG/zlib CRC-32 (reflected polynomial 0xEDB88320), computed bit by bit; 0 for no bytes.
quint32 crc32(const QByteArray& bytes);

// Inserts one uncompressed iTXt chunk just before the trailing IEND chunk. Nothing (the caller keeps the
// plain PNG) for data shorter than 20 bytes, without the PNG signature, not ending in IEND, or for a
// keyword a PNG cannot carry (empty, longer than 79 bytes, or holding a NUL).
std::optional<QByteArray> addTextChunk(const QByteArray& png, const QString& keyword, const QString& text);

// Keyword to text of every tEXt and iTXt chunk (a later one wins), read as UTF-8 with bad sequences
// repaired; compressed iTXt text is taken as it stands. Stops at the last whole chunk.
std::map<QString, QString> textChunks(const QByteArray& png);

// The PNG's Description text with its line breaks, or nothing.
std::optional<QString> pngDescription(const QByteArray& png);

// The application's version for provenance records, "unknown" when the build has none.
QString appVersion();

// The image as PNG with the text properties Title (file stem), Description (provenance text, its lines
// kept) and Software ("Solvane") as UTF-8 chunks ahead of the image data, then the provenance chunk
// holding the record JSON just before IEND. Logs "save frame: PNG encoding failed" and gives nothing when
// encoding fails; a chunk that cannot be added is left out and the rest comes back.
std::optional<QByteArray> png(const QImage& image, const Provenance& provenance);

// The exact frame of the clip at `seconds` (on a 1/600 s grid), upright, as `png`. Logs "save frame: " and
// the reason when it cannot be taken.
std::optional<QByteArray> framePNG(const QString& clipPath, double seconds, const Provenance& provenance);

// A picture no larger than maxSide x maxSide from the newest part of a cached clip (the key frame before
// its last 0.1 s): of the first of `ids` that is cached, else of the first cached entry; nothing when the
// cache is empty. For the menu-bar picture.
std::optional<QImage> newestFrameImage(const QStringList& ids, int maxSide);

// The last slot of the cached clip of exactly `id`, as `framePNG` with provenance from the entry's time,
// its slot count and the bundled glossary; nothing when `id` is not cached. At 0 s when the clip's
// length gives no slot count.
std::optional<QByteArray> newestFramePNG(const QString& id);

// The sidecar file name for a saved frame: the stem with "/" made "-", then ".provenance.json".
QString sidecarName(const QString& stem);

struct MetadataItem {
    QString identifier; // "title", "description", "subject", "software"
    QString value;
    QString extendedLanguageTag = QStringLiteral("und");
    bool operator==(const MetadataItem&) const = default;
};

// Title = file stem, Description = the credit sentence, Subject = provenance text, Software = "Solvane".
QList<MetadataItem> clipMetadata(const Provenance& provenance);

// Copies the clip to `destination` as MP4 without re-encoding, with `clipMetadata`, on a worker thread.
// `completion` runs on that thread with true exactly when the file is complete. An existing file at the
// destination is replaced only by a complete export, so a failure never costs the old file. Logs
// "export clip: no export session" when the source cannot be opened, else "export clip: " and the reason.
void exportClip(const QString& source, const QString& destination, const Provenance& provenance,
                std::function<void(bool)> completion);

} // namespace Share
