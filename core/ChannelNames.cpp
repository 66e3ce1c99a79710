#include "core/ChannelNames.h"

#include <cstdio>

namespace {
const char* const kSection = "DEVNAMES";
}

void ChannelNames::Load(const IValueLookup& lookup) {
    LoadTexts(lookup, "AD%zu", ainNames);
    LoadTexts(lookup, "AD%zu_UNIT", ainUnits);
    LoadTexts(lookup, "GRAYCODE%zu", graycodeNames);
    LoadTexts(lookup, "COUNTER%zu", counterNames);
    LoadTexts(lookup, "COUNTER%zu_UNIT", counterUnits);
    LoadTexts(lookup, "ETEMP%zu", etempNames);
}

const std::string& ChannelNames::At(const Texts& texts, std::size_t i) {
    static const std::string kEmpty;
    return i < texts.size() ? texts[i] : kEmpty;
}

void ChannelNames::LoadTexts(const IValueLookup& lookup, const char* keyFormat, Texts& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
        char key[32];
        std::snprintf(key, sizeof key, keyFormat, i);
        texts[i] = lookup.Get(kSection, key).substr(0, kMaxTextLength);
    }
}
