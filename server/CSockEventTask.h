#pragma once

#include <cstdint>
#include <mutex>

#include "platform/completionport/CompletionPort.h"
#include "server/ConnectionTable.h"
#include "server/IoRecord.h"
#include "server/ObjectPool.h"
#include "server/Runnable.h"
#include "server/ServerTrace.h"
#include "server/SockEvent.h"

// Carries one completion to the handler on a worker thread, then returns its IoRecord and itself to
// their pools. Filled by a service thread, run once by one worker.
template <class Record>
class CSockEventTask final : public IRunnable {
public:
    void Run() override {
        {
            std::lock_guard guard(record->lock);
            // A record closed or reused since the event was issued has another sequence: drop it.
            if (record->inUse.load() != 0 && record->sequence.load() == io->sequence) {
                Dispatch();
            }
        }
        ioRecordPool().Release(io);
        // Last: once back in the pool the task may be handed out again; Release clears its fields.
        owner->Release(this);
    }

    IoRecord* io = nullptr;
    Record* record = nullptr;
    ISockEvent<Record>* handler = nullptr;
    ConnectionTable* table = nullptr;
    CompletionPort* port = nullptr;
    std::uint32_t bytesTransferred = 0;
    ObjectPool<CSockEventTask>* owner = nullptr;

private:
    void Dispatch() {
        switch (io->code) {
            case kCloseRequest:
                ServerTrace("CloseSocket request %d.\n", record->socket.load());
                handler->OnClose(*record, io, *table, *port);
                record->Close(*port);
                // A connection held for want of a record takes this one.
                if (table->Release(record)) port->WatchListener(table->ListenSocket());
                break;
            case kAccepted:
                handler->OnAccept(*record, io, *table, *port);
                break;
            case kReceived:
                handler->OnRead(*record, io, bytesTransferred, *table, *port);
                break;
            case kRestart:
                handler->OnRestart(*record, io, bytesTransferred, *table, *port);
                break;
            case kSpare:
                handler->OnSpare(*record, io, *table, *port);
                break;
            default:
                ServerTrace("Oops...\n");
                break;
        }
    }
};
