#pragma once

#include <string>
#include <vector>

// Server settings from section SYSCONFIG of "./data_rtu.ini", read once at start-up.
struct ServerSettings {
    int port = 0;
    int timeoutSeconds = 0;
    int echoServer = 0;
};
ServerSettings ReadServerSettings();

// Login of the data source from section RTU_DB of "./data_rtu.ini".
struct DatabaseLogin {
    std::string user;
    std::string password;
};
DatabaseLogin ReadDatabaseLogin();

// The RTU form holds 32 rows, so more columns than that are not shown.
inline constexpr int kMaxRtuColumns = 32;

// Captions "RDATA1" ... "RDATA<n>" of section RTU of "./data_rtu.ini", n being RDATACOUNTS held to
// 0 ... 32. Each is the heading of an RTU list column and the label of an RTU form row.
std::vector<std::string> ReadRtuColumnCaptions();
