#include "tools/rtusim/ValueModel.h"

namespace rtusim {

void ValueModel::apply(std::uint32_t unit, const Effects& effects) {
    for (const Effect& effect : effects) {
        if (effect.value) {
            values[key(unit, effect.area, effect.index)] = *effect.value;
        } else {
            values.erase(key(unit, effect.area, effect.index));
        }
    }
}

std::optional<double> ValueModel::known(std::uint32_t unit, Area area, std::uint16_t index) const {
    const auto found = values.find(key(unit, area, index));
    if (found == values.end()) return std::nullopt;
    return found->second;
}

std::uint64_t ValueModel::key(std::uint32_t unit, Area area, std::uint16_t index) {
    return static_cast<std::uint64_t>(unit) << 24 | static_cast<std::uint64_t>(area) << 16 | index;
}

}  // namespace rtusim
