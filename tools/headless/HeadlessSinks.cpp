#include "tools/headless/HeadlessSinks.h"

#include <cstdio>

void PrintLine(std::FILE* stream, std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
        text.pop_back();
    }
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void StdoutRawDataList::AddLine(const char* text) {
    PrintLine(stdout, text == nullptr ? std::string() : std::string(text));
    ++count;
}

MessageAnswer StderrMessageBox::Show(const std::string& text, const std::string&, MessageIcon, MessageButtons buttons) {
    PrintLine(stderr, text);
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

void StdoutStatusLine::SetText(const std::string& text) { PrintLine(stdout, text); }
