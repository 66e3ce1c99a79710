#include "server/ConnectionOps.h"

#include <sys/socket.h>

bool PostEvent(Attachment& record, SockEventCode code, CompletionPort& port) {
    IoRecord* io = ioRecordPool().Acquire();
    io->code = code;
    io->sequence = record.sequence.load();
    if (!port.Post(1, &record, &io->overlapped)) {
        ioRecordPool().Release(io);
        return false;
    }
    return true;
}

bool PostReceive(Attachment& record, CompletionPort& port) {
    if (record.inUse.load() == 0) {
        return false;
    }
    IoRecord* io = ioRecordPool().Acquire();
    io->wsaBuf = WsaBuf{kReceiveLength, record.buffer};
    io->code = kReceived;
    io->sequence = record.sequence.load();
    if (!port.Receive(record.socket.load(), io->wsaBuf.buffer, io->wsaBuf.length, &io->overlapped)) {
        ioRecordPool().Release(io);
        return false;
    }
    return true;
}

bool SendToConnection(Attachment& record, ConnectionTable& table, CompletionPort& port, const std::uint8_t* bytes,
                      std::size_t length) {
    if (record.inUse.load() == 0) {
        return false;
    }
    // MSG_NOSIGNAL: a peer that has gone away must fail this send, not raise SIGPIPE in the process.
    if (send(record.socket.load(), bytes, length, MSG_NOSIGNAL) < 0) {
        ReleaseConnection(record, table, port);
        return false;
    }
    return true;
}

void ReleaseConnection(Attachment& record, ConnectionTable& table, CompletionPort& port) {
    // Only a record that was open goes back: one already released may have been taken by an accept
    // that waits for its lock, and must not become free a second time.
    if (record.Close(port) && table.Release(&record)) {
        port.WatchListener(table.ListenSocket());
    }
}
