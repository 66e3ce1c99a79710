#pragma once

// The printf formats of the statements the program sends on its own tables, named once so that
// the tests of the access layer run these very texts. Creation texts are in Schema.h; the
// history queries are composed by ComposeHistoryQuery.

// A reading in its channel table: table, RID, value (bare), LTIME, RTIME (quotes doubled), state.
inline constexpr char kChannelInsertFormat[] =
    "INSERT INTO %s(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (%d, %s, '%s', '%s', %d)";
// A reading in FULLRCDS: RID, unit id, channel name and number, value, state, GPS text, RTIME
// (both quotes doubled), LTIME.
inline constexpr char kFullRcdsInsertFormat[] =
    "INSERT INTO FULLRCDS(RID, UID, RDATACH, RVALUE, RSTATE, RGPS, RTIME, LTIME) VALUES "
    "(%d, '%d', '%s%d', '%.2f', %d, '%s', '%s', '%s')";

// The registry: an update built by CSQLUpdate limited to one unit id (quotes doubled), the
// delete of one unit id, and the list in text order of unit id.
inline constexpr char kRtuEditFormat[] = "%s WHERE UID='%s'";
inline constexpr char kRtuDeleteFormat[] = "DELETE * FROM %s WHERE UID='%s' ";
inline constexpr char kRtuListFormat[] = "SELECT * FROM %s ORDER BY UID";

// The history list's deletions: one row by RID, or every row of the table.
inline constexpr char kHistoryDeleteRowFormat[] = "DELETE FROM %s WHERE RID=%s";
inline constexpr char kHistoryDeleteAllFormat[] = "DELETE FROM %s";
