#pragma once

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>

#include "core/ReplyPath.h"
#include "platform/completionport/CompletionPort.h"
#include "server/Attachment.h"
#include "server/ConnectionOps.h"
#include "server/ConnectionTable.h"

// The reply path of one received chunk: the connection it came from. Lives for one decode, on the
// worker that holds the record's lock.
class ConnectionReply final : public IReplyPath {
public:
    ConnectionReply(Attachment& record, ConnectionTable& table, CompletionPort& port)
        : record(record), table(table), port(port) {}

    bool Send(const std::uint8_t* bytes, std::size_t length) override {
        return SendToConnection(record, table, port, bytes, length);
    }
    void Release() override { ReleaseConnection(record, table, port); }
    ReportOrigin Origin() const override {
        return ReportOrigin{&record, record.sequence.load(), ntohl(record.peerAddress.sin_addr.s_addr),
                            ntohs(record.peerAddress.sin_port)};
    }

private:
    Attachment& record;
    ConnectionTable& table;
    CompletionPort& port;
};
