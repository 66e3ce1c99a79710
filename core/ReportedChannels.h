#pragma once

#include <cstdint>

// Which channels of a slot's RTU were reported since the slot was filled. RtuRecord starts at zero,
// and a zero never reported cannot be told from a reported zero by the record alone. Registers need
// no entry: their kind stays 0 until one is written.
struct ReportedChannels {
    std::uint32_t din = 0;  // bit i: channel i
    std::uint32_t dout = 0;
    std::uint32_t ain = 0;
    std::uint32_t etemp = 0;
    std::uint32_t graycode = 0;
    std::uint8_t counters = 0;
    bool itemp = false;
    bool signal = false;
    bool batt = false;

    static bool Has(std::uint32_t bits, std::uint32_t i) { return i < 32 && (bits >> i & 1u) != 0; }
};
