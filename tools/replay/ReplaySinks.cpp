#include "tools/replay/ReplaySinks.h"

#include <cstdio>
#include <cstring>

void StdoutRawDataList::AddLine(const char* text) {
    std::size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
    std::fwrite(text, 1, length, stdout);
    std::fputc('\n', stdout);
    ++count;
}

void StdoutStatePage::PostCommand(std::uint32_t commandId) {
    if (commandId == CMD_REFRESH_STATE) {
        std::fputs("REFRESH\n", stdout);
    } else {
        std::printf("COMMAND %u\n", commandId);
    }
}

void StdoutHistoryWriter::WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value,
                                          const char* rtuTime, std::uint8_t state) {
    WriteChannelFloat(unitId, channelName, channelNumber, value, rtuTime, state);
}

void StdoutHistoryWriter::WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value,
                                            const char* rtuTime, std::uint8_t state) {
    std::printf("HISTORY %d %s %d %.2f %d %s\n", unitId, channelName, channelNumber, value, state, rtuTime);
}

bool StdoutReplyPath::Send(const std::uint8_t* bytes, std::size_t length) {
    std::fputs("SEND", stdout);
    for (std::size_t i = 0; i < length; ++i) std::printf(" %02x", bytes[i]);
    std::fputc('\n', stdout);
    return true;
}

void StdoutReplyPath::Release() { std::fputs("RELEASE\n", stdout); }
