#pragma once

#include <cstdint>
#include <ctime>

#include "tools/rtusim/Draw.h"
#include "tools/rtusim/ModbusAdu.h"

namespace rtusim {

// A write of function fn to a random readable area of the unit (DIN, DOUT, coils for bit writes;
// AIN, built-in temperature, Modbus registers for numeric writes) with whole values, so that
// every value it leaves can be read back exactly. header.address is chosen here.
WriteAdu randomWrite(std::uint8_t fn, WriteHeader header, Draw& draw, std::time_t now);

}  // namespace rtusim
