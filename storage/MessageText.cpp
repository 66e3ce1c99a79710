#include "storage/MessageText.h"

#include "platform/profile/IniFileReader.h"

MessageAnswer ShowMessageText(IMessageBox& box, std::string_view section, std::string_view key, MessageIcon icon,
                              MessageButtons buttons)
{
    const IniFileReader messages("./Messages.ini");
    return box.Show(messages.readValue(section, key), "", icon, buttons);
}
