#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "tools/rtusim/Effect.h"

namespace rtusim {

// RTU I/O text frames: "$", the unit id as 8 digits, two spare characters, the function code as two
// hex digits, a 14-character RTU time stamp, the channel as two characters, the payload and "$".
constexpr std::size_t kFrameHeaderSize = 29;  // "$" up to and including the channel

// The functions rtusim can send; every other code is unknown to the server.
const std::vector<std::uint8_t>& frameFunctions();
bool isFrameFunction(std::uint8_t fn);

// The values one frame carries. Numbers are in hundredths, since the frames carry exactly two
// decimals. List functions send one item per entry of numbers (FN 0x22, 0x32, 0x33, 0x41) or of
// states (FN 0x20, 0x21), and their channel field is that item count.
struct FrameValues {
    std::uint16_t channel = 0;
    std::vector<std::int64_t> numbers;  // hundredths
    std::vector<bool> states;           // state character "1" (true) or "0"
    std::vector<bool> coils;            // FN 0x31 and 0x41 items: "C" (true) or "R"
    std::vector<std::uint8_t> indexes;  // FN 0x41 items: Modbus register index 0..32
    std::vector<std::uint8_t> digits;   // "C" items: the coil digit
    int signal = 0;                     // FN 0x00/0x01: GSM signal, 0..9999
};

struct BuiltFrame {
    std::string bytes;
    std::size_t echoLength = kFrameHeaderSize;  // what the server echoes when its echo option is on
    Effects effects;                            // the readable values the frame sets
    unsigned readings = 0;                      // history rows the server records for the frame
};

// "12.34" from 1234, "-0.05" from -5.
std::string decimalText(std::int64_t hundredths);

// The RTU time stamp: local time as YYYYMMDDhhmmss.
std::string rtuTimestamp(std::time_t when);

// The whole frame around a payload; channels above 99 use a tens character past "9".
std::string frameText(std::uint32_t unitId, std::uint8_t fn, std::uint16_t channel, std::string_view timestamp,
                      std::string_view payload);

// The frame of function fn with the given values; values a function does not use are ignored.
// Single-value functions need one entry in numbers and states; FN 0x41 needs equal-length
// coils, indexes, states and numbers (or digits for its "C" items).
BuiltFrame buildFrame(std::uint8_t fn, std::uint32_t unitId, std::string_view timestamp, const FrameValues& values);

}  // namespace rtusim
