#include "web/ChannelValues.h"

#include <string>

using nlohmann::json;

namespace {

json Channel(const std::string& channel, const std::string& name, const std::string& unit, json value) {
    json entry{{"channel", channel}, {"name", name.empty() ? channel : name}, {"value", std::move(value)}};
    if (!unit.empty()) entry["unit"] = unit;
    return entry;
}

std::string Indexed(const char* kind, std::size_t i) { return kind + std::to_string(i); }

}  // namespace

json ChannelValues(const RtuRecord& record, const ChannelNames& names) {
    json channels = json::array();
    for (std::size_t i = 0; i < record.DinCount(); ++i) {
        channels.push_back(Channel(Indexed("DIN", i), {}, {}, record.din[i] != 0));
    }
    for (std::size_t i = 0; i < record.DoutCount(); ++i) {
        channels.push_back(Channel(Indexed("DOUT", i), {}, {}, record.dout[i] != 0));
    }
    for (std::size_t i = 0; i < record.AinCount(); ++i) {
        channels.push_back(Channel(Indexed("AIN", i), names.AinName(i), names.AinUnit(i), record.ain[i]));
    }
    channels.push_back(Channel("ITEMP", {}, {}, record.itemp));
    channels.push_back(Channel("SIGNAL", {}, {}, record.signal));
    channels.push_back(Channel("BATT", {}, {}, record.batt));
    for (std::size_t i = 0; i < record.EtempCount(); ++i) {
        channels.push_back(Channel(Indexed("ETEMP", i), names.EtempName(i), {}, record.etemp[i]));
    }
    for (std::size_t i = 0; i < record.CounterCount() && i < 4; ++i) {
        channels.push_back(
            Channel(Indexed("ECOUNTER", i), names.CounterName(i), names.CounterUnit(i), record.ecounter[i]));
    }
    if (record.HasGraycode()) channels.push_back(Channel("GRYCODE0", names.GraycodeName(0), {}, record.graycode[0]));
    for (std::size_t i = 0; i < 256; ++i) {
        if (record.regKind[i] != 0) channels.push_back(Channel(Indexed("MBUSREG", i), {}, {}, record.reg[i]));
    }
    return channels;
}
