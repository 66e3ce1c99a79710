#pragma once

class CSQLException;

// Whether a failed history write may succeed later as it is: the database is unreachable, timed
// out, locked or busy, shutting down or out of room, as opposed to a fault of the statement or the
// table (a missing table, a malformed statement, a refused key), which no retry mends.
//
// Decided by the SQLSTATE alone, whatever the engine: the driver gives an embedded file's busy,
// locked, full and failing results states of their own, and puts a server's own SQLSTATE at the
// end of the message of a failure it reports as HY000.
bool IsTransientFailure(const CSQLException& error);
