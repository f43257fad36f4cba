#pragma once
// The process's resident size, for the memory checks of tests and benchmarks.

#include <fstream>
#include <string>

// Kilobytes of memory this process has resident (VmRSS), or -1 when /proc cannot tell.
inline long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}
