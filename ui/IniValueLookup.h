#pragma once

#include <string>

#include "core/ValueLookup.h"
#include "platform/profile/IniFileReader.h"

// The core's value lookup over one INI file: every Get reads the file anew. Not shared between threads.
class IniValueLookup final : public IValueLookup {
public:
    explicit IniValueLookup(std::string path) : reader(std::move(path)) {}
    std::string Get(const std::string& section, const std::string& key) const override {
        return reader.readValue(section, key);
    }

private:
    IniFileReader reader;
};
