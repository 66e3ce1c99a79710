#pragma once

#include <cstdint>

#include "platform/completionport/CompletionPort.h"
#include "server/ConnectionTable.h"
#include "server/IoRecord.h"

// The socket event handler. Every operation runs on a worker thread with the record's lock held; io
// is the event's IoRecord (null where an operation calls another itself).
template <class Record>
class ISockEvent {
public:
    virtual void OnClose(Record& record, IoRecord* io, ConnectionTable& table, CompletionPort& port) = 0;
    virtual void OnAccept(Record& record, IoRecord* io, ConnectionTable& table, CompletionPort& port) = 0;
    virtual void OnSpare(Record& record, IoRecord* io, ConnectionTable& table, CompletionPort& port) = 0;
    virtual void OnRead(Record& record, IoRecord* io, std::uint32_t bytes, ConnectionTable& table,
                        CompletionPort& port) = 0;
    virtual void OnRestart(Record& record, IoRecord* io, std::uint32_t bytes, ConnectionTable& table,
                           CompletionPort& port) = 0;

protected:
    ~ISockEvent() = default;
};
