#include "server/MyISockEventHandler.h"

#include "server/ConnectionReply.h"

void MyISockEventHandler::DecodeChunk(Attachment& record, IoRecord*, std::uint32_t, ConnectionTable& table,
                                      CompletionPort& port) {
    ConnectionReply reply(record, table, port);
    record.stream.Decode(*this, reply);
}

void MyISockEventHandler::EndStream(Attachment& record) { record.stream.Close(*this); }
