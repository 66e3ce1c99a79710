#pragma once

#include <string>

// Reads one configuration value by section and key; empty when absent. The INI reader implements it.
class IValueLookup {
public:
    virtual std::string Get(const std::string& section, const std::string& key) const = 0;

protected:
    ~IValueLookup() = default;
};
