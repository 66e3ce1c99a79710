#include "runtime/ReadingSinks.h"

void ReadingSinks::WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value,
                                   const char* rtuTime, std::uint8_t state) {
    for (IHistoryWriter* sink : sinks) sink->WriteChannelInt(unitId, channelName, channelNumber, value, rtuTime, state);
}

void ReadingSinks::WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value,
                                     const char* rtuTime, std::uint8_t state) {
    for (IHistoryWriter* sink : sinks) {
        sink->WriteChannelFloat(unitId, channelName, channelNumber, value, rtuTime, state);
    }
}
