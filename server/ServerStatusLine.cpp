#include "server/ServerStatusLine.h"

#include <cstdio>

#include "platform/profile/IniFileReader.h"
#include "server/ServerService.h"

namespace {

// The line is composed in a buffer of this size; longer words from the file are cut off at its end.
constexpr std::size_t kStatusLineSize = 256;

}  // namespace

std::string ComposeServerStatusLine(int port, int timeoutSeconds) {
    IniFileReader titles("./rtu_ui.ini");
    char line[kStatusLineSize];
    std::snprintf(line, sizeof line, "%s %d, %s %d, %s %d, %s %d %s", titles.readValue("Titles", "SVRSTART").c_str(),
                  port, titles.readValue("Titles", "SVRCONN").c_str(), kConnectionRecords,
                  titles.readValue("Titles", "SVRTHEAD").c_str(), static_cast<int>(kWorkerThreads),
                  titles.readValue("Titles", "SVRTIMEOUT").c_str(), timeoutSeconds,
                  titles.readValue("Titles", "SVRTIMEOUTSEC").c_str());
    return line;
}
