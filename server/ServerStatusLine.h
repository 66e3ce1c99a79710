#pragma once

#include <string>

// The main window's status line as the server start-up writes it. Called on the thread that runs
// the start-up (the user-interface thread).
class IStatusLine {
public:
    virtual void SetText(const std::string& text) = 0;

protected:
    ~IStatusLine() = default;
};

// The line shown once the server runs: the five "Titles" words of "./rtu_ui.ini" around the port,
// the connection count, the worker count and the time-out, cut to 255 characters, then
// ", Modbus standard" when the Modbus/TCP service runs in standard mode.
std::string ComposeServerStatusLine(int port, int timeoutSeconds);
