// Deep links as another program hands them over: any text, parsed; what parses must survive its own
// URL form.
#include "DeepLink.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::quietLog();
    const QString text = QString::fromUtf8(Fuzz::bytes(data, size));
    (void)DeepLink::parse(text);
    (void)DeepLink::parse(QUrl(text, QUrl::StrictMode));
    return 0;
}
