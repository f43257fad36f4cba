// The imagery index decoder and its verdicts on any bytes: one verdict per element of the products
// array, each a single line, and never a crash.
#include "Cache.h"
#include "FuzzSupport.h"
#include "ImageryIndex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::quietLog();
    const QByteArray input = Fuzz::bytes(data, size);
    const auto index = ImageryIndex::decode(input);
    const auto verdicts = Cache::indexVerdicts(input);
    Fuzz::require(index.has_value() == verdicts.has_value());
    if (!index) return 0;
    Fuzz::require(index->products.size() <= size_t(index->verdicts.size()));
    for (const RemoteProduct& product : index->products) {
        (void)product.videos();
        (void)product.stills();
    }
    return 0;
}
