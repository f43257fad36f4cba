#pragma once
// Copies a clip into an MP4 file with metadata, packet for packet: nothing is decoded or re-encoded, so
// the pictures stay bit for bit the recorded ones. Blocking; safe from any thread.

#include <QList>
#include <QString>

namespace ClipExport {

struct MetadataItem {
    QString key; // written as an MP4 metadata key of this name ("title", "description", ...)
    QString value;
};

// Writes `source`'s video (and audio) streams with `items` to `destination`, through a temporary file in the
// same folder that replaces any file there only once complete. False, with the reason in `error`, when
// the source cannot be read or the destination cannot be written; then no partial file is left.
bool remux(const QString& source, const QString& destination, const QList<MetadataItem>& items,
           QString* error = nullptr);

} // namespace ClipExport
