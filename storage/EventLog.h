#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>

// A text file to which time-stamped lines are appended, each in one write followed by a flush.
//
// Threads: Open and Close before and after the writers run; Write from any thread (the stream's
// own lock keeps each line whole; lines of different threads come in any order).
class EventLogFile {
public:
    EventLogFile() = default;
    ~EventLogFile() { Close(); }
    EventLogFile(const EventLogFile&) = delete;
    EventLogFile& operator=(const EventLogFile&) = delete;

    // Opens for appending, creating the file when missing; false leaves logging off.
    bool Open(const char* path);
    // 0 when the log is not open; otherwise the line's length.
    int Write(const char* text);
    int Write(const char* text, const std::tm& local);
    void Close();

private:
    std::atomic<std::FILE*> file_{nullptr};
};

// The log line area: longer lines are cut to kLogLineSize - 1 bytes.
constexpr std::size_t kLogLineSize = 512;

// "DD-MM-YYYY HH:MM:SS: " followed by the text, cut to the area; a cut line keeps the text's
// final line end so the next line still starts on its own.
std::string FormatLogLine(const std::tm& local, const char* text);

// The process-wide event log "Log.txt" in the current directory: opened once at start-up,
// before the connection server starts, and open until the process ends.
void OpenEventLog();
EventLogFile& ProcessEventLog();
int WriteEventLog(const char* text);
