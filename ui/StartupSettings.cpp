#include "ui/StartupSettings.h"

#include <algorithm>

#include "platform/profile/IniFileReader.h"
#include "ui/UiText.h"

ServerSettings ReadServerSettings() {
    IniFileReader data(kDataIniPath);
    return ServerSettings{data.readNumber("SYSCONFIG", "PORT"), data.readNumber("SYSCONFIG", "TCPTO"),
                          data.readNumber("SYSCONFIG", "ECHOSERVER")};
}

DatabaseLogin ReadDatabaseLogin() {
    IniFileReader data(kDataIniPath);
    return DatabaseLogin{data.readValue("RTU_DB", "USER"), data.readValue("RTU_DB", "PWD")};
}

std::vector<std::string> ReadRtuColumnCaptions() {
    IniFileReader data(kDataIniPath);
    int count = std::clamp(data.readNumber("RTU", "RDATACOUNTS"), 0, kMaxRtuColumns);
    std::vector<std::string> captions;
    for (int k = 1; k <= count; ++k) {
        captions.push_back(data.readValue("RTU", "RDATA" + std::to_string(k)));
    }
    return captions;
}
