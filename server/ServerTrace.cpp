#include "server/ServerTrace.h"

#include <cstdio>
#include <mutex>

#include "core/TraceLevel.h"

namespace {

std::mutex traceLock;
IServerTraceListener* traceListener = nullptr;  // guarded by traceLock

constexpr int kTraceLineSize = 256;

// Below TraceLevel::kAll the trace goes to the listener only.
bool Printed() { return traceLevel.load(std::memory_order_relaxed) == TraceLevel::kAll; }

void Print(const char* line) {
    std::lock_guard guard(traceLock);
    if (Printed()) {
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
    if (traceListener != nullptr) {
        traceListener->OnTrace(line);
    }
}

// Whether a line would go anywhere, so that one nobody takes is not formatted.
bool Wanted() {
    if (Printed()) return true;
    std::lock_guard guard(traceLock);
    return traceListener != nullptr;
}

}  // namespace

void ServerTrace(const char* text) {
    if (Wanted()) Print(text);
}

void ServerTrace(const char* text, int number) {
    if (!Wanted()) return;
    char line[kTraceLineSize];
    std::snprintf(line, sizeof line, text, number);
    Print(line);
}

void SetServerTraceListener(IServerTraceListener* listener) {
    std::lock_guard guard(traceLock);
    traceListener = listener;
}
