#pragma once

#include <cstdint>
#include <vector>

#include "core/HistoryWriter.h"

// Where the connection server hands every accepted reading: to each sink in the order they were
// added, on the worker that decoded it, while that worker holds its RTU's connection. The history
// recorder is the first. A sink that talks to anything slower than the local disk keeps a queue of
// its own and returns at once; none may wait on a connection or a lock of the server.
//
// Threads: Add on the program's main thread before the server starts; the writers from any number
// of workers at once, which read the list, fixed by then, without a lock.
class ReadingSinks final : public IHistoryWriter {
public:
    // `sink` is not owned and must outlive the server.
    void Add(IHistoryWriter& sink) { sinks.push_back(&sink); }

    void WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value, const char* rtuTime,
                         std::uint8_t state) override;
    void WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value, const char* rtuTime,
                           std::uint8_t state) override;

private:
    std::vector<IHistoryWriter*> sinks;
};
