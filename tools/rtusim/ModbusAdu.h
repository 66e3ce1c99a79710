#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/rtusim/Effect.h"

namespace rtusim {

using Bytes = std::vector<std::uint8_t>;

// Modbus/TCP requests as the server reads them: transaction id, protocol id 0, length, unit id,
// function code, start address, then the function's data; every field big-endian unless noted.
constexpr std::size_t kMbapSize = 6;  // transaction id, protocol id, length

// The server's read windows: start address ranges and the quantity each answers at most.
constexpr std::uint16_t kDinWindow = 1000;       // fn 0x01, 1000..1031
constexpr std::uint16_t kDoutWindow = 1100;      // fn 0x01, 1100..1131
constexpr std::uint16_t kAinWindow = 1000;       // fn 0x03/0x04, 1000..1007
constexpr std::uint16_t kRegisterWindow = 1200;  // fn 0x03/0x04, 1200..1263
constexpr std::uint16_t kMaxBits = 32;
constexpr std::uint16_t kMaxAinRegisters = 32;
constexpr std::uint16_t kMaxWindowRegisters = 256;

// The function codes rtusim can send: the three reads and the seven writes the server acknowledges.
const std::vector<std::uint8_t>& modbusReadFunctions();
const std::vector<std::uint8_t>& modbusWriteFunctions();
bool isModbusFunction(std::uint8_t fn);

struct ReadRequest {
    std::uint16_t transaction = 0;
    std::uint8_t unit = 0;
    std::uint8_t fn = 0x03;
    std::uint16_t address = 0;
    std::uint16_t quantity = 0;
};

Bytes readAdu(const ReadRequest& request);

// The size of the reply the server builds for a read inside its windows.
std::size_t readReplySize(const ReadRequest& request);

struct WriteAdu {
    Bytes bytes;
    std::size_t echoLength = 0;  // the server acknowledges with the request's first echoLength bytes
    Effects effects;             // what the write does to the unit's readable values
    unsigned readings = 0;       // history rows the server records for the write
};

// Fn 0x23 items: type 0 carries a coil as a 32-bit value, type 3 an IEEE-754 single.
struct TimedItem {
    std::uint8_t type = 3;
    std::uint32_t raw = 0;  // sent little-endian
};

struct WriteHeader {
    std::uint16_t transaction = 0;
    std::uint8_t unit = 0;
    std::uint16_t address = 0;
};

WriteAdu writeSingleCoil(const WriteHeader& header, bool on);                                    // 0x05
WriteAdu writeSingleRegister(const WriteHeader& header, std::int16_t value);                     // 0x06
WriteAdu writeMultipleCoils(const WriteHeader& header, const std::vector<bool>& bits);           // 0x0F
WriteAdu writeMultipleRegisters(const WriteHeader& header, const std::vector<std::int16_t>& v);  // 0x10
WriteAdu writeTimedValues(const WriteHeader& header, const std::array<std::uint8_t, 6>& stamp,
                          const std::vector<TimedItem>& items);                              // 0x23
WriteAdu writeLongRegisters(const WriteHeader& header, const std::vector<std::int32_t>& v);  // 0x80
WriteAdu writeLongRegister(const WriteHeader& header, std::int32_t value);                   // 0x86

}  // namespace rtusim
