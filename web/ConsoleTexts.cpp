#include "web/ConsoleTexts.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"
#include "platform/profile/ProfileSettings.h"

using nlohmann::json;

namespace {

// The registry has at most this many columns (the RTU form's rows).
constexpr int kMaxColumns = 32;
// The registry's descriptive fields, RDATA1 ... RDATA12.
constexpr std::size_t kRegistryFields = 12;
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

// Caption key RDATAk heads list column k - 1, and column j holds registry field RDATAj.
json Fields(const json& columns) {
    json fields = json::object();
    for (std::size_t j = 1; j < columns.size() && j <= kRegistryFields; ++j) {
        fields["RDATA" + std::to_string(j)] = columns[j];
    }
    return fields;
}

// "Europe/Berlin" from a path that ends in the zone database.
std::string ZoneFromPath(const std::string& path) {
    const std::string marker = "zoneinfo/";
    const std::size_t at = path.find(marker);
    return at == std::string::npos ? std::string() : path.substr(at + marker.size());
}

std::string ZoneName() {
    if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
        std::string name = tz[0] == ':' ? tz + 1 : tz;
        return name.find('/') == 0 ? ZoneFromPath(name) : name;
    }
    std::string name;
    if (std::ifstream file("/etc/timezone"); std::getline(file, name) && !name.empty()) return name;
    char target[256] = {};
    const ssize_t length = readlink("/etc/localtime", target, sizeof target - 1);
    return length > 0 ? ZoneFromPath(std::string(target, static_cast<std::size_t>(length))) : std::string();
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

json ConsoleTexts() {
    const IniFileReader ui(kUiIniPath);
    const json columns = Columns();
    return json{
        {"titles", Section(ui, kTitlesSection, {"SYSTITLE", "Page0", "Page1", "Page2", "Page3"})},
        {"list", Section(ui, kRtuListTextSection, {"PageTitle"})},
        {"state", Section(ui, kRtuStateTextSection,
                          {"Title", "DIN", "DOUT", "AIN", "GRAY", "COUNTER", "RTUINFO", "ExTempTitle", "DATA_REAL",
                           "DATA_REPT", "EXPORT", "DATALISTC0", "DATALISTC1", "DATALISTC2", "DATALISTC3", "RECORDS"})},
        {"modbus", Section(ui, kModbusTextSection, {"List0", "List1", "List2", "List3", "List4"})},
        {"columns", columns},
        {"fields", Fields(columns)},
        {"names", Names()},
    };
}

json ServerTimeZone() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char abbreviation[16] = {};
    char offset[8] = {};
    std::strftime(abbreviation, sizeof abbreviation, "%Z", &local);
    std::strftime(offset, sizeof offset, "%z", &local);
    std::string utcOffset = offset;
    if (utcOffset.size() == 5) utcOffset.insert(3, ":");  // ISO 8601's "+01:00", not "+0100"
    const std::string name = ZoneName();
    return json{
        {"name", name.empty() ? json(nullptr) : json(name)}, {"abbreviation", abbreviation}, {"utc_offset", utcOffset}};
}
