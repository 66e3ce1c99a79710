#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

// How the Modbus/TCP service answers. kClassic: as the fleet's own RTUs expect it, a request that
// cannot be served gets no answer and a multiple write is acknowledged by echoing the request.
// kStandard: as the Modbus application protocol specifies, with exception responses and the
// 12-byte acknowledgement of fn 0x0F and 0x10, for masters that follow it.
enum class ModbusMode : std::uint8_t { kClassic, kStandard };

// Key MODBUS of section SYSCONFIG of "./data_rtu.ini", set once at start-up before the server runs.
extern std::atomic<ModbusMode> modbusMode;

// "standard" (in any case) is kStandard; anything else, an empty value among it, is kClassic.
ModbusMode ModbusModeFromText(std::string_view text);
// "classic" or "standard".
const char* ModbusModeName(ModbusMode mode);
