#include "storage/EventLog.h"

#include <cstring>

EventLogFile& ProcessEventLog() {
    static EventLogFile log;
    return log;
}

bool EventLogFile::Open(const char* path) {
    if (file_.load() != nullptr) return true;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) return false;
    std::fseek(file, 0, SEEK_END);
    file_.store(file);
    return true;
}

int EventLogFile::Write(const char* text) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Write(text, local);
}

// Write and flush errors are ignored: a log that cannot be written must not stop the caller.
int EventLogFile::Write(const char* text, const std::tm& local) {
    std::FILE* file = file_.load();
    if (file == nullptr) return 0;
    const std::string line = FormatLogLine(local, text);
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
    return static_cast<int>(line.size());
}

void EventLogFile::Close() {
    if (std::FILE* file = file_.exchange(nullptr)) std::fclose(file);
}

std::string FormatLogLine(const std::tm& local, const char* text) {
    char area[kLogLineSize];
    const int length =
        std::snprintf(area, sizeof area, "%2.2d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d: %s", local.tm_mday, local.tm_mon + 1,
                      local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, text);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof area) return std::string(area, static_cast<std::size_t>(length));
    std::string line(area, sizeof area - 1);
    const std::size_t textLength = std::strlen(text);
    if (textLength > 0 && text[textLength - 1] == '\n') line.back() = '\n';
    return line;
}

void OpenEventLog() { ProcessEventLog().Open("Log.txt"); }

int WriteEventLog(const char* text) { return ProcessEventLog().Write(text); }
