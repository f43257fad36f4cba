// The cache's own documents read back from disk, as a damaged or hand-edited cache folder holds them:
// the manifest (a list of entries) and lastpass.json.
#include "CacheEntry.h"
#include "FuzzSupport.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::quietLog();
    const QByteArray input = Fuzz::bytes(data, size);
    if (const auto entries = CacheEntry::list(input)) {
        // What was accepted encodes and decodes to the same entries.
        for (const CacheEntry& entry : *entries) {
            QString error;
            const auto again = CacheEntry::fromJson(entry.toJson(), error);
            Fuzz::require(again.has_value());
        }
    }
    (void)CacheEntry::decode(input);
    const QJsonDocument document = QJsonDocument::fromJson(input);
    QString error;
    if (const auto pass = Cache::LastPass::fromJson(
            document.isObject() ? QJsonValue(document.object()) : QJsonValue(), error)) {
        QString again;
        Fuzz::require(Cache::LastPass::fromJson(pass->toJson(), again).has_value());
    }
    return 0;
}
