#pragma once

#include <cstdint>

// Where accepted readings are recorded. The storage layer implements it on the database; both calls
// return after the database work, whatever its outcome, and never throw. Called from worker threads
// for different connections at once.
class IHistoryWriter {
public:
    // value: only its low byte is stored.
    virtual void WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value, const char* rtuTime,
                                 std::uint8_t state) = 0;
    virtual void WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value,
                                   const char* rtuTime, std::uint8_t state) = 0;

protected:
    ~IHistoryWriter() = default;
};
