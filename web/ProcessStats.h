#pragma once

#include <cstdint>

// This process as the kernel counts it (/proc/self), under the names every Prometheus client
// library uses for them.
struct ProcessStats {
    double cpuSeconds = 0;  // user and system
    double residentBytes = 0;
    double openFds = 0;
    double startTimeSeconds = 0;  // since 1970
};

ProcessStats ReadProcessStats();
