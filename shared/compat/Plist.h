#pragma once
// libplist 2.2 (Debian 12) and 2.3 and later (2.6 on Debian 13) differ in how a tree is parsed, how its text
// is freed, and how a signed integer is made and read. SOLVANE_LIBPLIST_VERSION comes from the build.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <plist/plist.h>

#ifndef SOLVANE_LIBPLIST_VERSION
#error "SOLVANE_LIBPLIST_VERSION is set by the build (link solvane_compat)"
#endif
#define SOLVANE_LIBPLIST_SIGNED (SOLVANE_LIBPLIST_VERSION >= 20300)

namespace compat {

// The tree of property-list bytes in any format libplist reads, or null; the caller frees it.
inline plist_t plistFromMemory(const char* bytes, uint32_t length) {
    plist_t root = nullptr;
#if SOLVANE_LIBPLIST_SIGNED
    plist_from_memory(bytes, length, &root, nullptr);
#else
    plist_from_memory(bytes, length, &root);
#endif
    return root;
}

// Frees memory libplist handed over (written XML, a string's or key's copy, an iterator).
inline void plistFree(void* memory) {
#if SOLVANE_LIBPLIST_SIGNED
    plist_mem_free(memory);
#else
    std::free(memory);
#endif
}

// A new integer node holding a signed value (2.2 keeps every integer as signed 64 bits unless it is marked
// as above the signed range, which plist_new_uint does not do).
inline plist_t plistNewInteger(int64_t value) {
#if SOLVANE_LIBPLIST_SIGNED
    return plist_new_int(value);
#else
    return plist_new_uint(uint64_t(value));
#endif
}

// The signed value of an integer node, or nothing when it holds an unsigned value above the signed range.
inline std::optional<int64_t> plistInteger(plist_t node) {
#if SOLVANE_LIBPLIST_SIGNED
    int64_t value = 0;
    plist_get_int_val(node, &value);
    if (value < 0 && !plist_int_val_is_negative(node)) return std::nullopt;
    return value;
#else
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    if (int64_t(value) >= 0) return int64_t(value);
    // 2.2 marks a value read above the signed range; a node equal to a fresh signed one is negative.
    plist_t fresh = plist_new_uint(value);
    const bool negative = plist_compare_node_value(node, fresh) != 0;
    plist_free(fresh);
    if (!negative) return std::nullopt;
    return int64_t(value);
#endif
}

} // namespace compat
