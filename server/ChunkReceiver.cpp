#include "server/ChunkReceiver.h"

#include <cstring>

#include "server/ConnectionOps.h"

void ChunkReceiver::OnClose(Attachment&, IoRecord*, ConnectionTable&, CompletionPort&) {}

void ChunkReceiver::OnSpare(Attachment&, IoRecord*, ConnectionTable&, CompletionPort&) {}

void ChunkReceiver::OnAccept(Attachment& record, IoRecord*, ConnectionTable& table, CompletionPort& port) {
    bool armed = PostReceive(record, port);
    record.lastActive.store(NowSeconds());
    if (!armed) {
        ReleaseConnection(record, table, port);
    }
}

void ChunkReceiver::OnRestart(Attachment& record, IoRecord*, std::uint32_t, ConnectionTable& table,
                              CompletionPort& port) {
    record.lastActive.store(0);
    std::memset(record.buffer, 0, sizeof record.buffer);
    record.fill = 0;
    OnAccept(record, nullptr, table, port);
}

void ChunkReceiver::OnRead(Attachment& record, IoRecord* io, std::uint32_t bytes, ConnectionTable& table,
                           CompletionPort& port) {
    if (bytes > 0 && record.fill + bytes < kReceiveBufferSize) {
        record.fill += bytes;
        record.buffer[record.fill] = 0;
    }
    // The receive armed next writes into `buffer` and may complete while these bytes are decoded.
    std::memcpy(record.decodeBuffer, record.buffer, record.fill + 1);
    bool armed = PostReceive(record, port);
    record.lastActive.store(NowSeconds());
    if (!armed) {
        ReleaseConnection(record, table, port);
        return;
    }
    DecodeChunk(record, io, bytes, table, port);
    record.fill = 0;
}
