#pragma once

// The connection server's trace: one line at a time to standard output, under one process-wide lock.
// Safe from any thread; nothing else is locked while the lock is held, except a listener's own.

void ServerTrace(const char* text);
// text is a format with one "%d".
void ServerTrace(const char* text, int number);

// Sees every trace as printed; for tests. Called under the trace lock.
class IServerTraceListener {
public:
    virtual void OnTrace(const char* line) = 0;

protected:
    ~IServerTraceListener() = default;
};

// Installs (or, with null, removes) the one listener.
void SetServerTraceListener(IServerTraceListener* listener);
