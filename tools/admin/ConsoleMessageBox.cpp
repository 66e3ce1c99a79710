#include "tools/admin/ConsoleMessageBox.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"

MessageAnswer ConsoleMessageBox::Show(const std::string& text, const std::string&, MessageIcon icon,
                                      MessageButtons buttons) {
    if (buttons == MessageButtons::YesNo) {
        if (assumeYes) return MessageAnswer::Yes;
        std::fprintf(stderr, "%s [y/N] ", text.c_str());
        std::fflush(stderr);
        std::string answer;
        std::getline(std::cin, answer);
        // An answer typed on a terminal ends its line itself; one from a pipe does not.
        if (!isatty(STDIN_FILENO)) std::fputc('\n', stderr);
        if (answer == "y" || answer == "Y" || answer == "yes" || answer == "YES" || answer == "Yes")
            return MessageAnswer::Yes;
        declined = true;
        return MessageAnswer::No;
    }
    if (icon != MessageIcon::Information) std::fprintf(stderr, "%s\n", text.c_str());
    return MessageAnswer::Ok;
}

void PrintMessageText(std::FILE* stream, const char* section, const char* key) {
    const std::string text = IniFileReader(kMessagesIniPath).readValue(section, key);
    std::fprintf(stream, "%s\n", text.empty() ? key : text.c_str());
}
