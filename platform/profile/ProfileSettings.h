#pragma once

#include <string>
#include <vector>

// Server settings from section SYSCONFIG of "./data_rtu.ini", read once at start-up by whichever
// program runs the server (the window or the headless runner).
struct ServerSettings {
    int port = 0;
    int timeoutSeconds = 0;  // TCPTO: seconds a connection may stay silent
    int echoServer = 0;      // ECHOSERVER: non-zero has the decoder echo every RTU I/O frame
    std::string modbus;      // MODBUS: "standard" or "classic" (the default), as written
};
ServerSettings ReadServerSettings();

// Login of the data source from section RTU_DB of "./data_rtu.ini", read at each open.
struct DatabaseLogin {
    std::string user;
    std::string password;
};
DatabaseLogin ReadDatabaseLogin();

// The bound of the spool that keeps readings while the database is away: SPOOLMAXKB of section
// RTU_DB of "./data_rtu.ini", in KiB; missing, 0 or negative gives kDefaultSpoolLimitBytes.
inline constexpr long long kDefaultSpoolLimitBytes = 1024LL * 1024 * 1024;
long long ReadSpoolLimitBytes();
// The memory that holds readings while the spool's file cannot (full, the disk full, failing):
// SPOOLRAMKB of section RTU_DB, in KiB; missing, 0 or negative gives kDefaultSpoolMemoryBytes.
inline constexpr long long kDefaultSpoolMemoryBytes = 64LL * 1024 * 1024;
long long ReadSpoolMemoryLimitBytes();

// How long one history query of the window or the web console may run before it is cancelled:
// QUERYSECONDS of section RTU_DB of "./data_rtu.ini"; missing, 0 or negative gives the default.
inline constexpr int kDefaultHistoryQuerySeconds = 10;
int ReadHistoryQuerySeconds();

// Keys of section RTU of "./data_rtu.ini": the number of RTU list columns and, numbered from 1,
// each column's caption ("RDATA1" is the unit id's, "RDATA2" the name's).
inline constexpr const char* kRtuColumnCountKey = "RDATACOUNTS";
inline constexpr const char* kRtuColumnCaptionKey = "RDATA";

// The RTU form holds 32 rows, so more columns than that are not shown.
inline constexpr int kMaxRtuColumns = 32;

// Captions "RDATA1" ... "RDATA<n>" of section RTU of "./data_rtu.ini", n being RDATACOUNTS held to
// 0 ... 32. Each is the heading of an RTU list column and the label of an RTU form row.
std::vector<std::string> ReadRtuColumnCaptions();
