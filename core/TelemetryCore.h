#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "core/DecodeStop.h"
#include "core/HistoryWriter.h"
#include "core/RawDataList.h"
#include "core/ReplyPath.h"
#include "core/RtuTable.h"
#include "core/StatePage.h"

// counters.txt in the home directory ($HOME, else the password entry's home).
std::string DefaultCountersPath();

// Process-wide counters and settings of the decoder.
extern std::atomic<std::int32_t> rxCount;      // chunks seen; never reset
extern std::atomic<std::int32_t> unknowCount;  // unrecognised frames or ADUs; never reset
extern std::atomic<int> echoServer;            // non-zero: every RTU I/O frame is echoed

// The decoding half of the socket event handler: what one received chunk does to the live RTU table,
// the raw-data list, the state page and the history. The socket event handler derives from it.
//
// DecodeChunk runs on a worker thread, one call at a time per connection; calls for different
// connections run in parallel. The three references are set once at start-up and read by every
// worker; each may be absent, and every operation tests them.
class TelemetryCore {
public:
    TelemetryCore() = default;
    TelemetryCore(const TelemetryCore&) = delete;
    TelemetryCore& operator=(const TelemetryCore&) = delete;

    void SetRawDataList(IRawDataList* list) { rawDataList.store(list); }
    void SetStatePage(IStatePage* page) { statePage.store(page); }
    void SetHistoryWriter(IHistoryWriter* writer) { historyWriter.store(writer); }

    // Decodes one received chunk whole: data[0 .. fill) followed by a zero byte at data[fill]. A frame
    // or ADU cut by the end of the chunk is decoded from what arrived. Replies and echoes go back
    // through reply. A connection decodes through its ReceiveStream instead, which joins such a
    // frame or ADU with the bytes that complete it.
    void DecodeChunk(const std::uint8_t* data, std::uint32_t fill, IReplyPath& reply);

    // The parts of DecodeChunk, for ReceiveStream.
    // Counts one received chunk and adds its counters line and hex dump to the raw-data list; at
    // TraceLevel::kFrames only when it may carry frame text (`heldFrameText`: it goes on a frame
    // held from the receive before).
    void LogChunk(const std::uint8_t* data, std::size_t size, bool heldFrameText);
    // Decodes size bytes as one chunk. stopAtCut: a frame or ADU running past the end is left alone
    // and reported. heldAdu: the bytes begin with an ADU held from an earlier receive, which is read
    // as one whatever its first byte, and rtuTime is the timestamp it carries.
    DecodeStop DecodeBytes(const std::uint8_t* data, std::size_t size, IReplyPath& reply, bool stopAtCut,
                           bool heldAdu = false, const char* rtuTime = "");
    // A frame or ADU that will never be completed, or the header of an ADU that can never be
    // well-formed: counted in unknowCount and logged.
    void DropUnfinished(CutKind kind, std::size_t bytes);

    // `logLines` false: the raw-data lines are not written (the trace level leaves them out); the
    // update is applied all the same, as far as the raw-data list is present.
    void UpdateCoil(std::int32_t unitId, std::uint32_t registerNumber, std::int32_t value, const char* rtuTime,
                    std::uint8_t state, bool logLines = true);
    void UpdateRegister(std::int32_t unitId, std::uint32_t registerNumber, std::int32_t value, const char* rtuTime,
                        std::uint8_t state, bool logLines = true);
    void UpdateRegistString(std::int32_t unitId, const char* text, bool logLines = true);
    // Whether UpdateCoil or UpdateRegister of the register number changes a channel.
    static bool CoilHasChannel(std::uint32_t registerNumber);
    static bool RegisterHasChannel(std::uint32_t registerNumber);

    // Start-up settings: call before the first DecodeChunk, never while chunks are being decoded.
    // The live table to decode into (default: the process-wide table).
    void SetRtuTable(RtuTable& table) { rtuTable = &table; }
    // Where "now" comes from for the time reply (default: the system's local time).
    void SetClock(std::function<std::tm()> localTime) { clock = std::move(localTime); }
    // The counters file that counter reports are appended to (default: counters.txt in the home directory).
    void SetCountersPath(std::string path) { countersPath = std::move(path); }

    RtuTable& Table() const { return *rtuTable; }
    const std::string& CountersPath() const { return countersPath; }
    std::tm LocalTime() const;

protected:
    std::atomic<IRawDataList*> rawDataList{nullptr};
    std::atomic<IStatePage*> statePage{nullptr};
    std::atomic<IHistoryWriter*> historyWriter{nullptr};

private:
    RtuTable* rtuTable = &LiveRtuTable();
    std::function<std::tm()> clock;
    std::string countersPath = DefaultCountersPath();
};
