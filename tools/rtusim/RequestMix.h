#pragma once

#include <cstdint>
#include <ctime>
#include <random>
#include <vector>

#include "tools/rtusim/Request.h"
#include "tools/rtusim/SimOptions.h"

namespace rtusim {

// The message generator of one connection: picks a function by weight, a unit and values, and
// builds the request with the replies it expects. Used by one thread.
class RequestMix {
public:
    // ownUnits are the units this connection may write (all units unless values are checked).
    RequestMix(const SimOptions& options, std::vector<std::uint32_t> ownUnits, std::uint64_t seed);

    Request next(std::time_t now);

    // A Modbus transaction id the server cannot mistake for frame text: no "C" or "R" as its second
    // byte (FN 0x41's item test), and unless `counting` (--transaction-start) no "$" as its first.
    static bool isSafeTransaction(std::uint16_t transaction, bool counting = false);

private:
    Request frame(std::uint8_t fn, std::time_t now);
    Request modbusRead(std::uint8_t fn);
    Request modbusWrite(std::uint8_t fn, std::time_t now);
    std::uint16_t nextTransaction();

    std::uint32_t anyUnit(bool modbus);
    std::uint32_t ownUnit(bool modbus);

    const SimOptions& options;
    std::vector<std::uint32_t> allUnits, allModbusUnits, ownFrameUnits, ownModbusUnits;
    std::vector<std::uint16_t> functions;  // RTU functions, and Modbus ones marked by 0x100
    std::discrete_distribution<std::size_t> choice;
    std::mt19937_64 random;
    std::uint16_t transaction;
};

}  // namespace rtusim
