#include "server/ChunkReceiver.h"

#include <cstring>

#include "server/ConnectionOps.h"

void ChunkReceiver::OnClose(Attachment& record, IoRecord*, ConnectionTable&, CompletionPort&) { EndStream(record); }

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
    record.stream.Reset();
    OnAccept(record, nullptr, table, port);
}

void ChunkReceiver::OnRead(Attachment& record, IoRecord* io, std::uint32_t bytes, ConnectionTable& table,
                           CompletionPort& port) {
    if (bytes > 0 && record.fill + bytes < kReceiveBufferSize) {
        record.fill += bytes;
        record.buffer[record.fill] = 0;
    }
    // The receive armed next writes into `buffer` and may complete while these bytes are decoded.
    record.stream.Take(record.buffer, record.fill);
    bool armed = PostReceive(record, port);
    record.lastActive.store(NowSeconds());
    if (armed) {
        DecodeChunk(record, io, bytes, table, port);
    } else {
        ReleaseConnection(record, table, port);
    }
    record.fill = 0;
    // A failed arm, or a reply that failed while decoding, has closed the connection.
    if (record.inUse.load() == 0) EndStream(record);
}
