#pragma once

#include <string>
#include <string_view>

#include "platform/profile/MessageBox.h"

// Shows the text of `key` in `section` of "./Messages.ini" with the program's fixed style for that
// message. The file is read anew at each box, so an edited text shows on the next box.
MessageAnswer ShowMessageText(IMessageBox& box, std::string_view section, std::string_view key, MessageIcon icon,
                              MessageButtons buttons = MessageButtons::Ok);

// A box of a text built into the program.
inline MessageAnswer ShowFixedText(IMessageBox& box, const std::string& text, MessageIcon icon) {
    return box.Show(text, "", icon, MessageButtons::Ok);
}
