#pragma once

#include <cstdint>

#include "core/HistoryWriter.h"
#include "core/RawDataList.h"
#include "core/StatePage.h"

// Sinks that drop everything, for measuring and fuzzing the decoder alone. Single-threaded.
class NullRawDataList : public IRawDataList {
public:
    void AddLine(const char* text) override { lastLine = text; }
    int Count() override { return 0; }
    void Clear() override {}
    const char* volatile lastLine = nullptr;  // keeps the formatting from being optimised away
};

class NullStatePage : public IStatePage {
public:
    void PostCommand(std::uint32_t) override {}
};

class NullHistoryWriter : public IHistoryWriter {
public:
    void WriteChannelInt(int, const char*, int, int, const char*, std::uint8_t) override {}
    void WriteChannelFloat(int, const char*, int, double, const char*, std::uint8_t) override {}
};
