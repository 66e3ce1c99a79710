#include "server/ServerTrace.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex traceLock;
IServerTraceListener* traceListener = nullptr;  // guarded by traceLock

constexpr int kTraceLineSize = 256;

void Print(const char* line) {
    std::lock_guard guard(traceLock);
    std::fputs(line, stdout);
    std::fflush(stdout);
    if (traceListener != nullptr) {
        traceListener->OnTrace(line);
    }
}

}  // namespace

void ServerTrace(const char* text) { Print(text); }

void ServerTrace(const char* text, int number) {
    char line[kTraceLineSize];
    std::snprintf(line, sizeof line, text, number);
    Print(line);
}

void SetServerTraceListener(IServerTraceListener* listener) {
    std::lock_guard guard(traceLock);
    traceListener = listener;
}
