#pragma once

#include <cstdint>

#include "platform/completionport/CompletionPort.h"
#include "server/ObjectPool.h"

enum SockEventCode : std::uint32_t {
    kCloseRequest = 0,
    kAccepted = 1,
    kReceived = 2,
    kRestart = 3,
    kSpare = 4,
};

struct WsaBuf {
    std::uint32_t length;
    std::uint8_t* buffer;
};

// One outstanding receive or posted event. It begins with the overlapped block, so the overlapped
// pointer that a completion returns is the record itself.
struct IoRecord {
    Overlapped overlapped;
    WsaBuf wsaBuf;
    std::uint32_t code;
    std::uint32_t sequence;  // the connection record's sequence when the event was issued
};

inline IoRecord* IoRecordOf(Overlapped* overlapped) { return reinterpret_cast<IoRecord*>(overlapped); }

// The process-wide pool of IoRecords, made with 100 records at first use and kept until the process
// ends. Safe from any thread.
ObjectPool<IoRecord>& ioRecordPool();
