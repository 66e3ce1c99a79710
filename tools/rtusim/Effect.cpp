#include "tools/rtusim/Effect.h"

#include <cmath>

namespace rtusim {

namespace {

// Only whole values are predicted: the server stores them as float and reads them back as
// trunc(10 × value), and for whole values of this size neither step can round differently.
constexpr double kLargestPredicted = 3000.0;

std::optional<double> predictable(double scaled) {
    if (std::isnan(scaled)) return std::nullopt;
    const double stored = static_cast<float>(scaled);
    if (stored != std::trunc(stored) || std::fabs(stored) > kLargestPredicted) return std::nullopt;
    return stored;
}

// The registers whose numeric writes have a history channel.
bool recordsNumber(std::uint32_t r) {
    return (r >= 1001 && r <= 1008) || (r >= 1101 && r <= 1103) || (r >= 1201 && r <= 1233) ||
           (r >= 1301 && r <= 1308) || r == 1401 || (r >= 1501 && r <= 1508) || r == 1800 || r == 1801;
}

std::vector<RecordedReading>* readingSink = nullptr;

}  // namespace

void collectReadings(std::vector<RecordedReading>* sink) { readingSink = sink; }

void recordReading(std::uint32_t registerNumber, std::int64_t value) {
    if (readingSink) readingSink->push_back({registerNumber, false, value});
}

unsigned addCoilEffect(Effects& effects, std::uint32_t registerNumber, bool on) {
    const double bit = on ? 1.0 : 0.0;
    if (registerNumber >= 1001 && registerNumber <= 1008) {
        effects.push_back({Area::Din, static_cast<std::uint16_t>(registerNumber - 1001), bit});
    } else if (registerNumber >= 1101 && registerNumber <= 1108) {
        effects.push_back({Area::Dout, static_cast<std::uint16_t>(registerNumber - 1101), bit});
    } else if (registerNumber >= 1201 && registerNumber <= 1233) {
        effects.push_back({Area::Reg, static_cast<std::uint16_t>(registerNumber - 1201), std::nullopt});
    }
    const bool recorded =
        (registerNumber >= 1001 && registerNumber <= 1008) || (registerNumber >= 1101 && registerNumber <= 1108);
    if (recorded && readingSink) readingSink->push_back({registerNumber, true, on ? 1 : 0});
    return recorded;
}

unsigned addRegisterEffect(Effects& effects, std::uint32_t registerNumber, std::optional<std::int64_t> value) {
    // The server takes the integer as a signed 32-bit number.
    const auto v = value ? static_cast<double>(static_cast<std::int32_t>(*value)) : std::nan("");
    if (registerNumber >= 1001 && registerNumber <= 1008) {
        effects.push_back({Area::Ain, static_cast<std::uint16_t>(registerNumber - 1001), predictable(v * 0.1)});
    } else if (registerNumber == 1101) {
        effects.push_back({Area::Itemp, 0, predictable(v * 0.01)});
    } else if (registerNumber >= 1201 && registerNumber <= 1233) {
        effects.push_back({Area::Reg, static_cast<std::uint16_t>(registerNumber - 1201), predictable(v * 0.01)});
    }
    if (!recordsNumber(registerNumber)) return 0;
    if (readingSink) {
        std::optional<std::int64_t> received;
        if (value) received = static_cast<std::int32_t>(*value);
        readingSink->push_back({registerNumber, false, received});
    }
    return 1;
}

}  // namespace rtusim
