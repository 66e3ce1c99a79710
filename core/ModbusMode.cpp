#include "core/ModbusMode.h"

std::atomic<ModbusMode> modbusMode{ModbusMode::kClassic};

ModbusMode ModbusModeFromText(std::string_view text) {
    constexpr std::string_view kStandard = "standard";
    if (text.size() != kStandard.size()) return ModbusMode::kClassic;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char lower = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (lower != kStandard[i]) return ModbusMode::kClassic;
    }
    return ModbusMode::kStandard;
}

const char* ModbusModeName(ModbusMode mode) { return mode == ModbusMode::kStandard ? "standard" : "classic"; }
