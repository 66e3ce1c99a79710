#include "storage/MessageText.h"

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"

MessageAnswer ShowMessageText(IMessageBox& box, std::string_view section, std::string_view key, MessageIcon icon,
                              MessageButtons buttons) {
    const IniFileReader messages(kMessagesIniPath);
    return box.Show(messages.readValue(section, key), "", icon, buttons);
}
