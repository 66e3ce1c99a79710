#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/ValueLookup.h"

// Display names and units of the AIN, Gray-code, counter and external-temperature channels, from
// section DEVNAMES of the channel-name file. Owned by the RTU state page and used on its thread only.
class ChannelNames {
public:
    static constexpr std::size_t kChannels = 32;
    static constexpr std::size_t kMaxTextLength = 31;

    // Reads keys AD<i>, AD<i>_UNIT, GRAYCODE<i>, COUNTER<i>, COUNTER<i>_UNIT and ETEMP<i> for i = 0..31;
    // longer values are cut to 31 characters.
    void Load(const IValueLookup& lookup);

    // Index 0..31; any other index gives an empty text.
    const std::string& AinName(std::size_t i) const { return At(ainNames, i); }
    const std::string& AinUnit(std::size_t i) const { return At(ainUnits, i); }
    const std::string& GraycodeName(std::size_t i) const { return At(graycodeNames, i); }
    const std::string& CounterName(std::size_t i) const { return At(counterNames, i); }
    const std::string& CounterUnit(std::size_t i) const { return At(counterUnits, i); }
    const std::string& EtempName(std::size_t i) const { return At(etempNames, i); }

private:
    using Texts = std::array<std::string, kChannels>;
    static const std::string& At(const Texts& texts, std::size_t i);
    static void LoadTexts(const IValueLookup& lookup, const char* keyFormat, Texts& texts);

    Texts ainNames, ainUnits, graycodeNames, counterNames, counterUnits, etempNames;
};
