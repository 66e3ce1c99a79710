#include "ui/StartupSettings.h"

#include <algorithm>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"

std::vector<std::string> ReadRtuColumnCaptions() {
    IniFileReader data(kDataIniPath);
    int count = std::clamp(data.readNumber(kRtuColumnsSection, kRtuColumnCountKey), 0, kMaxRtuColumns);
    std::vector<std::string> captions;
    for (int k = 1; k <= count; ++k) {
        captions.push_back(data.readValue(kRtuColumnsSection, kRtuColumnCaptionKey + std::to_string(k)));
    }
    return captions;
}
