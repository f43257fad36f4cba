#pragma once
// The imagery index document (contract-v1) that the host publishes as "manifest/index.json".

#include "RemoteProduct.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct ImageryIndex {
    std::optional<QString> generated;
    std::optional<QString> mirrored;
    std::optional<QStringList> failed;
    std::vector<RemoteProduct> products; // accepted entries, in document order
    QStringList verdicts;                // one per element of the document's products, in order

    // Decodes without logging. On failure gives nothing and, when asked, says why in words.
    static std::optional<ImageryIndex> parse(const QByteArray& bytes, QString* error = nullptr);

    // Decodes and logs: "index unreadable: " on failure, "index: " + the rejections on success (area cache).
    static std::optional<ImageryIndex> decode(const QByteArray& bytes);
};
