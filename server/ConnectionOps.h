#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/completionport/CompletionPort.h"
#include "server/Attachment.h"
#include "server/ConnectionTable.h"
#include "server/IoRecord.h"

// What the server, the handler and the timeout checker do to one connection. Each is called with the
// record's lock held, except where a service thread posts for a record it has just attached.

// Posts an event for the record's current sequence, with byte count 1 and the record as key. On
// failure the IoRecord goes back to its pool and the result is false.
bool PostEvent(Attachment& record, SockEventCode code, CompletionPort& port);

// Arms one receive of up to 4095 bytes into the first byte of `buffer`. Only for a record in use;
// on failure the IoRecord goes back to its pool and the caller ends the connection.
bool PostReceive(Attachment& record, CompletionPort& port);

// One send of the bytes, not repeated for a short count. A send that fails, would block, or meets a
// closed peer releases the connection and returns false; so does a record no longer open.
bool SendToConnection(Attachment& record, ConnectionTable& table, CompletionPort& port, const std::uint8_t* bytes,
                      std::size_t length);

// Closes the record and returns it to the table's free set; a record not open is left alone.
void ReleaseConnection(Attachment& record, ConnectionTable& table, CompletionPort& port);
