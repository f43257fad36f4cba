#pragma once
// The process's resident size, for the memory checks of tests and benchmarks.

#include <fstream>
#include <string>

// A field of /proc/self/status in kilobytes, or -1 when /proc cannot tell.
inline long statusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size()));
    return -1;
}

// Kilobytes of memory this process has resident (VmRSS).
inline long residentKilobytes() {
    return statusKilobytes("VmRSS:");
}

// The most it has had resident (VmHWM); writing "5" to /proc/self/clear_refs starts it afresh.
inline long peakKilobytes() {
    return statusKilobytes("VmHWM:");
}
