#pragma once

#include <cstdint>
#include <map>
#include <vector>

// The live values of the test peer's units, changed by register number the way the server
// changes them, and read through the server's Modbus windows. Used by the peer's thread only.
class PeerTable {
public:
    using Bytes = std::vector<std::uint8_t>;

    void coil(std::uint32_t unit, std::uint32_t registerNumber, std::int32_t value);
    void number(std::uint32_t unit, std::uint32_t registerNumber, std::int32_t value);

    // The readable frames (power, DIN, DOUT, AIN, temperature, Modbus registers) change the table.
    void applyFrame(const Bytes& frame);
    // Every Modbus write the server acknowledges.
    void applyWrite(const Bytes& adu);

    bool bitAt(std::uint32_t unit, std::uint16_t address, unsigned position);     // fn 0x01
    float valueAt(std::uint32_t unit, std::uint16_t address, unsigned position);  // fn 0x03, 0x04

private:
    struct UnitValues {
        float ain[32] = {};
        float itemp = 0;
        float reg[256] = {};
        std::uint8_t din[32] = {};
        std::uint8_t dout[32] = {};
    };
    std::map<std::uint32_t, UnitValues> units;
};
