#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/RawDataList.h"
#include "core/StatePage.h"
#include "platform/profile/MessageBox.h"
#include "server/StartTcpServer.h"

// What the window would be, for a run without one: raw-data lines and the status line go to
// standard output, message boxes to standard error. Every method is safe from any thread; a line is
// written with one call, so lines from different threads never mix.

class StdoutRawDataList final : public IRawDataList {
public:
    // Prints the text without its trailing "\r" and "\n" characters as one line, every other
    // control character shown as "?" (as in the counters file).
    void AddLine(const char* text) override;
    int Count() override { return count.load(); }
    void Clear() override { count.store(0); }

private:
    std::atomic<int> count{0};
};

// Takes the refreshes the core posts and does nothing with them.
class IgnoringStatePage final : public IStatePage {
public:
    void PostCommand(std::uint32_t) override {}
};

class StderrMessageBox final : public IMessageBox {
public:
    // Writes the text as one line; a question is answered No.
    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;
};

class StdoutStatusLine final : public IStatusLine {
public:
    void SetText(const std::string& text) override;
};

// Writes text and a newline with one call and flushes.
void PrintLine(std::FILE* stream, std::string text);
