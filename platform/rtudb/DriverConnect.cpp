// Opening and closing the SQLite file behind a data source, and what the driver tells about itself.
#include "platform/rtudb/DriverHandles.h"
#include "platform/rtudb/HomePath.h"

#include <odbcinst.h>

#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kDefaultBusyTimeoutMs = 5000;
constexpr int kDataSourceValueSize = 4096;  // room for one odbc.ini value

// now() as Access offers it: local date and time as text that sorts like the time stamps.
void NowFunction(sqlite3_context* context, int, sqlite3_value**)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    sqlite3_result_text(context, text, -1, SQLITE_TRANSIENT);
}

std::string DataSourceValue(const std::string& dataSource, const char* key)
{
    std::vector<char> value(kDataSourceValueSize, '\0');
    SQLGetPrivateProfileString(dataSource.c_str(), key, "", value.data(), static_cast<int>(value.size()),
                               "odbc.ini");
    return value.data();
}

// WAL with synchronous=FULL: a statement that has completed is on disk.
bool ConfigureConnection(DriverDbc& dbc)
{
    const int busyMs = dbc.loginTimeoutSeconds > 0 ? static_cast<int>(dbc.loginTimeoutSeconds) * 1000
                                                   : kDefaultBusyTimeoutMs;
    sqlite3_busy_timeout(dbc.db, busyMs);
    return sqlite3_exec(dbc.db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr)
               == SQLITE_OK
        && sqlite3_create_function(dbc.db, "now", 0, SQLITE_UTF8, nullptr, NowFunction, nullptr, nullptr)
               == SQLITE_OK;
}

SQLRETURN OpenDatabase(DriverDbc& dbc, const std::string& path)
{
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &dbc.db, flags, nullptr) != SQLITE_OK || !ConfigureConnection(dbc)) {
        const std::string message = dbc.db != nullptr ? sqlite3_errmsg(dbc.db) : "out of memory";
        sqlite3_close_v2(dbc.db);
        dbc.db = nullptr;
        return Fail(dbc.diag, "08001", "cannot open database file " + path + ": " + message);
    }
    return SQL_SUCCESS;
}

}  // namespace

extern "C" {

// User name and password are accepted and not checked: the SQLite file has no accounts.
SQLRETURN SQL_API SQLConnect(SQLHDBC handle, SQLCHAR* dataSource, SQLSMALLINT dataSourceLength, SQLCHAR*,
                             SQLSMALLINT, SQLCHAR*, SQLSMALLINT)
{
    if (handle == SQL_NULL_HDBC) return SQL_INVALID_HANDLE;
    auto* dbc = static_cast<DriverDbc*>(handle);
    dbc->diag.Clear();
    if (dbc->db != nullptr) return Fail(dbc->diag, "08002", "connection already open");
    dbc->dataSource = TextArgument(dataSource, dataSourceLength);
    const std::string file = DataSourceValue(dbc->dataSource, "DBQ");
    if (file.empty()) return Fail(dbc->diag, "IM002", "data source " + dbc->dataSource + " names no DBQ file");
    return OpenDatabase(*dbc, ExpandHomePath(file));
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC handle)
{
    if (handle == SQL_NULL_HDBC) return SQL_INVALID_HANDLE;
    auto* dbc = static_cast<DriverDbc*>(handle);
    dbc->diag.Clear();
    if (dbc->db == nullptr) return Fail(dbc->diag, "08003", "connection not open");
    {
        std::lock_guard lock(dbc->statementsMutex);
        for (DriverStmt* stmt : dbc->statements) ResetStatement(*stmt);
    }
    sqlite3_close_v2(dbc->db);
    dbc->db = nullptr;
    return SQL_SUCCESS;
}

}  // extern "C"
