#pragma once

#include <cstdint>

#include "platform/completionport/CompletionPort.h"
#include "server/Attachment.h"
#include "server/ConnectionTable.h"
#include "server/IoRecord.h"
#include "server/SockEvent.h"

// The receive loop of every connection: exactly one receive is armed while the connection is open,
// and the bytes of each completed receive are decoded on their own; nothing is joined across
// receives. Its operations run on worker threads under the record's lock.
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

    // Decodes one receive: record.decodeBuffer holds record.fill bytes (equal to bytes) and a zero
    // after them. The next receive is already armed into record.buffer.
    virtual void DecodeChunk(Attachment& record, IoRecord* io, std::uint32_t bytes, ConnectionTable& table,
                             CompletionPort& port) = 0;
};
