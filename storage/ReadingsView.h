#pragma once

class CSQLDatabase;

// What SQL tools and charting tools read the history through, made at start beside the fixed
// tables, never changing them (see docs/sql.md):
// - the index FULLRCDS_CHANNEL_TIME on FULLRCDS (UID, RDATACH, LTIME), so one channel's rows are
//   found without reading the whole table;
// - the table LTIME_ZONE: the UTC offset LTIME was written at, by stretch of local time text;
//   made from this process's zone when missing, and when the zone's offsets from now on differ
//   from the table's (TZ changed, or new zone rules) its spans from now on are replaced, so rows
//   stored earlier keep the offset they were written at;
// - the view READINGS: UID, CHANNEL, TS (the arrival time with its offset: timestamptz on
//   PostgreSQL, ISO 8601 text on SQLite), VALUE (a number) and RTU_TIME, one row per FULLRCDS row.
// Each is made when missing; a failure leaves one line in the event log and the program runs on.
//
// Threads: the user-interface thread, during the open-database command; holds DatabaseMutex.
void CreateReadingsView(CSQLDatabase& database);
