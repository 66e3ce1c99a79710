#pragma once

#include <cstdint>

#include "core/TelemetryCore.h"
#include "server/ChunkReceiver.h"

// The program's socket event handler: the receive loop of every connection, feeding the telemetry
// core. Its three references (raw-data list, state page, history writer) are set once at start-up,
// after the threads run; until then the core finds them absent.
class MyISockEventHandler final : public ChunkReceiver, public TelemetryCore {
public:
    MyISockEventHandler() = default;

protected:
    // Decodes the receive through the record's stream; replies go back on the same connection.
    void DecodeChunk(Attachment& record, IoRecord* io, std::uint32_t bytes, ConnectionTable& table,
                     CompletionPort& port) override;
    void EndStream(Attachment& record) override;
};
