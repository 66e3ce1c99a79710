#pragma once

#include <cstdint>

#include "platform/completionport/CompletionPort.h"
#include "server/Attachment.h"
#include "server/ConnectionTable.h"
#include "server/IoRecord.h"
#include "server/SockEvent.h"

// The receive loop of every connection: exactly one receive is armed while the connection is open,
// and the bytes of each completed receive go to the connection's stream, which joins a frame or ADU
// cut by the end of one receive with the next. Its operations run on worker threads under the
// record's lock.
class ChunkReceiver : public ISockEvent<Attachment> {
public:
    void OnClose(Attachment& record, IoRecord* io, ConnectionTable& table, CompletionPort& port) override;
    void OnAccept(Attachment& record, IoRecord* io, ConnectionTable& table, CompletionPort& port) override;
    void OnSpare(Attachment& record, IoRecord* io, ConnectionTable& table, CompletionPort& port) override;
    void OnRead(Attachment& record, IoRecord* io, std::uint32_t bytes, ConnectionTable& table,
                CompletionPort& port) override;
    void OnRestart(Attachment& record, IoRecord* io, std::uint32_t bytes, ConnectionTable& table,
                   CompletionPort& port) override;

protected:
    ~ChunkReceiver() = default;

    // Decodes one receive: record.stream has taken record.fill bytes (equal to bytes). The next
    // receive is already armed into record.buffer.
    virtual void DecodeChunk(Attachment& record, IoRecord* io, std::uint32_t bytes, ConnectionTable& table,
                             CompletionPort& port) = 0;
    // The connection has ended (a close request, or a failed arm or send); what its stream holds
    // is dropped. Called once per connection, under the record's lock.
    virtual void EndStream(Attachment& record) = 0;
};
