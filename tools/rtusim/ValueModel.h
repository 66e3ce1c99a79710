#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "tools/rtusim/Effect.h"

namespace rtusim {

// The values rtusim knows a unit holds on the server because rtusim itself wrote them on one
// connection. Only sound while no other client writes those units; one model per connection,
// used by that connection's thread only.
class ValueModel {
public:
    void apply(std::uint32_t unit, const Effects& effects);
    std::optional<double> known(std::uint32_t unit, Area area, std::uint16_t index) const;
    // After a connection closes, frames it sent may never have been decoded.
    void forget() { values.clear(); }

private:
    static std::uint64_t key(std::uint32_t unit, Area area, std::uint16_t index);
    std::unordered_map<std::uint64_t, double> values;
};

}  // namespace rtusim
