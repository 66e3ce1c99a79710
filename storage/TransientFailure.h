#pragma once

class CSQLException;

// Whether a failed history write may succeed later as it is: the database is unreachable, timed
// out, locked or busy, shutting down or out of room, as opposed to a fault of the statement or the
// table (a missing table, a malformed statement, a refused key), which no retry mends.
//
// Decided by the SQLSTATE; for SQLSTATE HY000 by the embedded engine's result code, which the
// driver passes as the native error, or by the server's own SQLSTATE, which it puts at the end of
// the message.
bool IsTransientFailure(const CSQLException& error);
