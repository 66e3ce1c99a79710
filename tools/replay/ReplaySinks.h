#pragma once

#include "core/HistoryWriter.h"
#include "core/RawDataList.h"
#include "core/ReplyPath.h"
#include "core/StatePage.h"

// The pages, the history and the connection as text on standard output, in the order things
// happen. Everything goes through the one C stdio stream the decoder also prints to, so lines
// keep their order. Single-threaded.

// Each line as added, without its trailing "\r" and "\n" characters.
class StdoutRawDataList final : public IRawDataList {
public:
    void AddLine(const char* text) override;
    int Count() override { return count; }
    void Clear() override { count = 0; }

private:
    int count = 0;
};

// "REFRESH" for each refresh command.
class StdoutStatePage final : public IStatePage {
public:
    void PostCommand(std::uint32_t commandId) override;
};

// "HISTORY <unit> <channel name> <number> <value, two decimals> <state> <time text>".
class StdoutHistoryWriter final : public IHistoryWriter {
public:
    void WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value, const char* rtuTime,
                         std::uint8_t state) override;
    void WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value, const char* rtuTime,
                           std::uint8_t state) override;
};

// "SEND" and the bytes in lowercase hex; every send succeeds.
class StdoutReplyPath final : public IReplyPath {
public:
    bool Send(const std::uint8_t* bytes, std::size_t length) override;
    void Release() override;
};
