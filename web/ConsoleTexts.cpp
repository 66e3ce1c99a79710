#include "web/ConsoleTexts.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"
#include "platform/profile/ProfileSettings.h"

using nlohmann::json;

namespace {

// The registry has at most this many columns (the RTU form's rows).
constexpr int kMaxColumns = 32;
// The Modbus registers page lists this many registers.
constexpr int kNamedRegisters = 32;

json Section(const IniFileReader& reader, const char* section, std::initializer_list<const char*> keys) {
    json texts = json::object();
    for (const char* key : keys) texts[key] = reader.readValue(section, key);
    return texts;
}

json Columns() {
    const IniFileReader data(kDataIniPath);
    json columns = json::array();
    const int count = std::min(data.readNumber(kRtuColumnsSection, kRtuColumnCountKey), kMaxColumns);
    for (int k = 1; k <= count; ++k) columns.push_back(data.readValue(kRtuColumnsSection, "RDATA" + std::to_string(k)));
    return columns;
}

json Names() {
    const IniFileReader names(kNamesIniPath);
    json texts = Section(names, kDeviceNamesSection, {"DIN", "DOUT", "SIGNAL", "BATT", "ITEMP", "ETEMP"});
    for (int k = 0; k < kNamedRegisters; ++k) {
        const std::string key = "MBUSREG" + std::to_string(k);
        std::string name = names.readValue(kDeviceNamesSection, key);
        if (name.empty()) {
            char fallback[16];
            std::snprintf(fallback, sizeof fallback, "R%2.2d", k);
            name = fallback;
        }
        texts[key] = name;
    }
    return texts;
}

}  // namespace

std::string ConsoleTextsJson() {
    const IniFileReader ui(kUiIniPath);
    const json texts{
        {"titles", Section(ui, kTitlesSection, {"SYSTITLE", "Page0", "Page1", "Page2", "Page3"})},
        {"list", Section(ui, kRtuListTextSection, {"PageTitle"})},
        {"state", Section(ui, kRtuStateTextSection,
                          {"Title", "DIN", "DOUT", "AIN", "GRAY", "COUNTER", "RTUINFO", "ExTempTitle", "DATA_REAL",
                           "DATA_REPT", "EXPORT", "DATALISTC0", "DATALISTC1", "DATALISTC2", "DATALISTC3", "RECORDS"})},
        {"modbus", Section(ui, kModbusTextSection, {"List0", "List1", "List2", "List3", "List4"})},
        {"columns", Columns()},
        {"names", Names()},
    };
    return texts.dump(-1, ' ', false, json::error_handler_t::replace);
}
