#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "storage/RtuRegistry.h"

// The name of each registered RTU (registry field RDATA1) as the registry was last read in full,
// kept for the monitoring, which labels an RTU with it and must not ask the database at each scrape.
//
// Threads: Note from whichever thread reads the registry; Name from any thread.
class RegistryNames {
public:
    void Note(const std::vector<RegistryRow>& rows);
    // Empty for a unit id the last read did not hold.
    std::string Name(std::string_view uidText) const;

private:
    mutable std::mutex lock;  // guards names
    std::map<std::string, std::string, std::less<>> names;
};

// The process's names, noted by every complete read of the registry.
RegistryNames& ProcessRegistryNames();
