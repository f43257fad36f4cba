#pragma once
// What every fuzz target shares: the libFuzzer entry point's signature, and quiet logging (the readers
// log every rejected input, which would drown the fuzzer's own output and slow it down).

#include "Log.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace Fuzz {

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

inline void quietLog() {
    static const bool done = [] {
        Log::redirectStandardError(::open("/dev/null", O_WRONLY | O_CLOEXEC));
        return true;
    }();
    (void)done;
}

// A broken promise of the code under test: abort, so the fuzzer keeps the input that showed it.
inline void require(bool condition) {
    if (!condition) std::abort();
}

} // namespace Fuzz
