#include "server/ServerStatusLine.h"

#include <cstdio>

#include "core/ModbusMode.h"
#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"
#include "server/ServerService.h"

namespace {

// The line is composed in a buffer of this size; longer words from the file are cut off at its end.
constexpr std::size_t kStatusLineSize = 256;

}  // namespace

std::string ComposeServerStatusLine(int port, int timeoutSeconds) {
    IniFileReader titles(kUiIniPath);
    char line[kStatusLineSize];
    std::snprintf(line, sizeof line, "%s %d, %s %d, %s %d, %s %d %s",
                  titles.readValue(kTitlesSection, "SVRSTART").c_str(), port,
                  titles.readValue(kTitlesSection, "SVRCONN").c_str(), kConnectionRecords,
                  titles.readValue(kTitlesSection, "SVRTHEAD").c_str(), static_cast<int>(kWorkerThreads),
                  titles.readValue(kTitlesSection, "SVRTIMEOUT").c_str(), timeoutSeconds,
                  titles.readValue(kTitlesSection, "SVRTIMEOUTSEC").c_str());
    std::string text = line;
    // Classic mode, the default, keeps the line as it always was.
    if (modbusMode.load(std::memory_order_relaxed) == ModbusMode::kStandard) text += ", Modbus standard";
    return text;
}
