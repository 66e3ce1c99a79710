#include "web/ChannelValues.h"

#include <charconv>
#include <cstdlib>
#include <string>

using nlohmann::json;

namespace {

json Channel(const std::string& channel, const std::string& name, const std::string& unit, json value) {
    json entry{{"channel", channel}, {"name", name.empty() ? channel : name}, {"value", std::move(value)}};
    if (!unit.empty()) entry["unit"] = unit;
    return entry;
}

std::string Indexed(const char* kind, std::size_t i) { return kind + std::to_string(i); }

// The table keeps floats: 12.3f is shown as 12.3, the shortest text that reads back as that float,
// not as the 12.300000190734863 its exact value would print.
double Shortest(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

}  // namespace

json ChannelValues(const RtuRecord& record, const ReportedChannels& reported, const ChannelNames& names) {
    using R = ReportedChannels;
    const auto value = [](bool seen, json shown) { return seen ? std::move(shown) : json(nullptr); };
    json channels = json::array();
    for (std::uint32_t i = 0; i < record.DinCount(); ++i) {
        channels.push_back(Channel(Indexed("DIN", i), {}, {}, value(R::Has(reported.din, i), record.din[i] != 0)));
    }
    for (std::uint32_t i = 0; i < record.DoutCount(); ++i) {
        channels.push_back(Channel(Indexed("DOUT", i), {}, {}, value(R::Has(reported.dout, i), record.dout[i] != 0)));
    }
    for (std::uint32_t i = 0; i < record.AinCount(); ++i) {
        channels.push_back(Channel(Indexed("AIN", i), names.AinName(i), names.AinUnit(i),
                                   value(R::Has(reported.ain, i), Shortest(record.ain[i]))));
    }
    channels.push_back(Channel("ITEMP", {}, {}, value(reported.itemp, Shortest(record.itemp))));
    channels.push_back(Channel("SIGNAL", {}, {}, value(reported.signal, record.signal)));
    channels.push_back(Channel("BATT", {}, {}, value(reported.batt, record.batt)));
    for (std::uint32_t i = 0; i < record.EtempCount(); ++i) {
        channels.push_back(Channel(Indexed("ETEMP", i), names.EtempName(i), {},
                                   value(R::Has(reported.etemp, i), Shortest(record.etemp[i]))));
    }
    for (std::uint32_t i = 0; i < record.CounterCount() && i < 4; ++i) {
        channels.push_back(Channel(Indexed("ECOUNTER", i), names.CounterName(i), names.CounterUnit(i),
                                   value(R::Has(reported.counters, i), Shortest(record.ecounter[i]))));
    }
    if (record.HasGraycode()) {
        channels.push_back(Channel("GRYCODE0", names.GraycodeName(0), {},
                                   value(R::Has(reported.graycode, 0), Shortest(record.graycode[0]))));
    }
    for (std::size_t i = 0; i < 256; ++i) {
        if (record.regKind[i] == 0) continue;
        json entry = Channel(Indexed("MBUSREG", i), {}, {}, Shortest(record.reg[i]));
        entry["kind"] = record.regKind[i] == 2 ? "Coil" : "Input";
        channels.push_back(std::move(entry));
    }
    return channels;
}
