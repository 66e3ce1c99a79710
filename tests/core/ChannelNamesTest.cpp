#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/ChannelNames.h"

namespace {

class MapLookup : public IValueLookup {
public:
    std::map<std::string, std::string> values;  // "SECTION/KEY" -> value
    std::string Get(const std::string& section, const std::string& key) const override {
        const auto it = values.find(section + "/" + key);
        return it == values.end() ? std::string() : it->second;
    }
};

TEST(ChannelNames, LoadsEveryKindFromDevnames) {
    MapLookup lookup;
    lookup.values = {{"DEVNAMES/AD0", "Pressure"},   {"DEVNAMES/AD0_UNIT", "bar"},     {"DEVNAMES/GRAYCODE0", "Gate"},
                     {"DEVNAMES/COUNTER3", "Water"}, {"DEVNAMES/COUNTER3_UNIT", "m3"}, {"DEVNAMES/ETEMP31", "Roof"},
                     {"OTHER/AD1", "ignored"}};
    ChannelNames names;
    names.Load(lookup);
    EXPECT_EQ(names.AinName(0), "Pressure");
    EXPECT_EQ(names.AinUnit(0), "bar");
    EXPECT_EQ(names.GraycodeName(0), "Gate");
    EXPECT_EQ(names.CounterName(3), "Water");
    EXPECT_EQ(names.CounterUnit(3), "m3");
    EXPECT_EQ(names.EtempName(31), "Roof");
    EXPECT_EQ(names.AinName(1), "");
}

TEST(ChannelNames, LongValuesAreCutTo31Characters) {
    MapLookup lookup;
    lookup.values["DEVNAMES/AD5"] = std::string(50, 'x');
    ChannelNames names;
    names.Load(lookup);
    EXPECT_EQ(names.AinName(5), std::string(31, 'x'));
}

TEST(ChannelNames, IndexBeyondTableGivesEmptyText) {
    ChannelNames names;
    EXPECT_EQ(names.EtempName(32), "");
}

}  // namespace
