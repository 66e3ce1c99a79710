#pragma once

// The raw data page's list as the telemetry core sees it: one line per item. The window's
// implementation delivers each line synchronously to the user-interface thread, so the line is in
// the list when AddLine returns. Called from worker threads.
class IRawDataList {
public:
    virtual void AddLine(const char* text) = 0;
    virtual int Count() = 0;
    virtual void Clear() = 0;

protected:
    ~IRawDataList() = default;
};
