// The glossary reader on any bytes: a map or an empty one, never a crash.
#include "FuzzSupport.h"
#include "Glossary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::quietLog();
    (void)Glossary::decode(Fuzz::bytes(data, size));
    return 0;
}
