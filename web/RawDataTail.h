#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/RawDataList.h"

// The raw-data lines as the console's raw page reads them: every line the core adds is kept in a
// ring of the newest kLines and handed on to the program's own list (the window's raw data page,
// or standard output). The core sees only IRawDataList, so nothing below web/ knows of the console.
//
// Threads: the IRawDataList operations from the workers, LinesAfter from any thread. A line is
// copied into the ring's reused storage under a short lock: no allocation once the ring is warm.
class RawDataTail final : public IRawDataList {
public:
    static constexpr std::size_t kLines = 500;
    // Longer lines (the hex dump of a full 4095-byte receive) are cut to this many bytes.
    static constexpr std::size_t kMaxLineBytes = 2048;

    // `next` is not owned and may be null; Count and Clear are the next list's when there is one.
    explicit RawDataTail(IRawDataList* next) : next(next) {}

    void AddLine(const char* text) override;
    int Count() override;
    // Empties the next list; the ring keeps its lines (the browser bounds its own list).
    void Clear() override;

    // Appends the lines numbered after `after` (at most the kLines newest) to `lines`, oldest first,
    // and returns the number of the newest line (0 before the first).
    std::uint64_t LinesAfter(std::uint64_t after, std::vector<std::string>& lines) const;

private:
    IRawDataList* next;
    std::atomic<int> ownCount{0};
    mutable std::mutex lock;  // guards ring and newest
    std::array<std::string, kLines> ring;
    std::uint64_t newest = 0;  // line n lives in ring[(n - 1) % kLines]
};
