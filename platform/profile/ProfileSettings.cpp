#include "platform/profile/ProfileSettings.h"

#include <algorithm>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"

ServerSettings ReadServerSettings() {
    const IniFileReader data(kDataIniPath);
    return ServerSettings{data.readNumber(kServerSection, "PORT"), data.readNumber(kServerSection, "TCPTO"),
                          data.readNumber(kServerSection, "ECHOSERVER"), data.readValue(kServerSection, "MODBUS")};
}

DatabaseLogin ReadDatabaseLogin() {
    const IniFileReader data(kDataIniPath);
    return DatabaseLogin{data.readValue(kDatabaseLoginSection, "USER"), data.readValue(kDatabaseLoginSection, "PWD")};
}

long long ReadSpoolLimitBytes() {
    const long long kib = IniFileReader(kDataIniPath).readNumber(kDatabaseLoginSection, "SPOOLMAXKB");
    return kib > 0 ? kib * 1024 : kDefaultSpoolLimitBytes;
}

long long ReadSpoolMemoryLimitBytes() {
    const long long kib = IniFileReader(kDataIniPath).readNumber(kDatabaseLoginSection, "SPOOLRAMKB");
    return kib > 0 ? kib * 1024 : kDefaultSpoolMemoryBytes;
}

std::vector<std::string> ReadRtuColumnCaptions() {
    IniFileReader data(kDataIniPath);
    int count = std::clamp(data.readNumber(kRtuColumnsSection, kRtuColumnCountKey), 0, kMaxRtuColumns);
    std::vector<std::string> captions;
    for (int k = 1; k <= count; ++k) {
        captions.push_back(data.readValue(kRtuColumnsSection, kRtuColumnCaptionKey + std::to_string(k)));
    }
    return captions;
}

int ReadHistoryQuerySeconds() {
    const int seconds = IniFileReader(kDataIniPath).readNumber(kDatabaseLoginSection, "QUERYSECONDS");
    return seconds > 0 ? seconds : kDefaultHistoryQuerySeconds;
}
