#include "tools/headless/HeadlessSinks.h"

#include <cstdio>

#include "core/TextFormat.h"

void PrintLine(std::FILE* stream, std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
        text.pop_back();
    }
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void StdoutRawDataList::AddLine(const char* text) {
    std::string line = text == nullptr ? std::string() : std::string(text);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    // Raw-data lines show bytes from the network (frame text, a registration or GPS text): none of
    // them may start a line of its own or reach a terminal or the journal as a control sequence.
    PrintLine(stdout, PrintableText(line.c_str()));
    ++count;
}

MessageAnswer StderrMessageBox::Show(const std::string& text, const std::string&, MessageIcon, MessageButtons buttons) {
    PrintLine(stderr, text);
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

void StdoutStatusLine::SetText(const std::string& text) { PrintLine(stdout, text); }
