#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace rtusim {

// The live values a Modbus read can return, by the area of the server's live RTU record they sit in.
enum class Area : std::uint8_t { Din, Dout, Ain, Itemp, Reg };

// What one sent frame or write does to one readable value of its unit, as far as rtusim can tell.
struct Effect {
    Area area;
    std::uint16_t index;
    std::optional<double> value;  // empty: the value is no longer known after this write

    bool operator==(const Effect&) const = default;
};

using Effects = std::vector<Effect>;

// One history row a write makes the server record: the register number, and for a numeric write
// the integer the server receives (empty when rtusim cannot tell), for a bit write 0 or 1.
struct RecordedReading {
    std::uint32_t registerNumber = 0;
    bool coil = false;
    std::optional<std::int64_t> value;
};

// A reading whose value is not a readable one (battery, signal), for the sink below.
void recordReading(std::uint32_t registerNumber, std::int64_t value);

// While a sink is set, addCoilEffect and addRegisterEffect append every reading they count to it.
// Run thread only; null stops the collecting.
void collectReadings(std::vector<RecordedReading>* sink);

// Bit writes (UpdateCoil) by register number: DIN and DOUT become readable bits; a coil written
// into the Modbus register area stores a byte whose value rtusim does not predict. Returns the
// readings the server records for the write (one history row each): 1 for DIN and DOUT, else 0.
unsigned addCoilEffect(Effects& effects, std::uint32_t registerNumber, bool on);

// Numeric writes (UpdateRegister) by register number with the integer the server receives,
// scaled as the server scales it: AIN × 0.1, built-in temperature and Modbus registers × 0.01.
// An empty value marks the register unknown (rtusim cannot tell which integer the server got).
// Returns the readings the server records for the write: 1 for every register of a numeric channel
// (readable or not: signal, battery, counters, gray code, external temperatures, daily reports), else 0.
unsigned addRegisterEffect(Effects& effects, std::uint32_t registerNumber, std::optional<std::int64_t> value);

}  // namespace rtusim
