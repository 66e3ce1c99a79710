// Opening and closing the SQLite file behind a data source, and what the driver tells about itself.
#include "platform/rtudb/DriverHandles.h"
#include "platform/rtudb/HomePath.h"

#include <odbcinst.h>

#include <cstdio>
#include <ctime>
#include <strings.h>
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

// The file comes from the connection string's DBQ when it has one, else from the data source.
SQLRETURN Connect(DriverDbc& dbc, const std::string& dataSource, std::string file)
{
    dbc.diag.Clear();
    if (dbc.db != nullptr) return Fail(dbc.diag, "08002", "connection already open");
    dbc.dataSource = dataSource;
    if (file.empty() && !dataSource.empty()) file = DataSourceValue(dataSource, "DBQ");
    if (file.empty()) {
        const std::string where = dataSource.empty() ? "connection string" : "data source " + dataSource;
        return Fail(dbc.diag, "IM002", where + " names no DBQ file");
    }
    return OpenDatabase(dbc, ExpandHomePath(file));
}

// Value of `key` in a "KEY=value;KEY={value; with semicolons};..." connection string, keys
// in any letter case; empty when absent.
std::string ConnectionStringValue(const std::string& text, const char* key)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t equals = text.find('=', pos);
        if (equals == std::string::npos) return {};
        const std::string name = text.substr(pos, equals - pos);
        std::size_t valueStart = equals + 1;
        std::size_t valueEnd = text.find(';', valueStart);
        if (valueStart < text.size() && text[valueStart] == '{') {
            ++valueStart;
            valueEnd = text.find('}', valueStart);
        }
        if (valueEnd == std::string::npos) valueEnd = text.size();
        if (strcasecmp(name.c_str(), key) == 0) return text.substr(valueStart, valueEnd - valueStart);
        const std::size_t next = text.find(';', valueEnd);
        pos = next == std::string::npos ? text.size() : next + 1;
    }
    return {};
}

}  // namespace

extern "C" {

// User name and password are accepted and not checked: the SQLite file has no accounts.
SQLRETURN SQL_API SQLConnect(SQLHDBC handle, SQLCHAR* dataSource, SQLSMALLINT dataSourceLength, SQLCHAR*,
                             SQLSMALLINT, SQLCHAR*, SQLSMALLINT)
{
    if (handle == SQL_NULL_HDBC) return SQL_INVALID_HANDLE;
    return Connect(*static_cast<DriverDbc*>(handle), TextArgument(dataSource, dataSourceLength), {});
}

// For clients that connect with a connection string ("DSN=RTUDB" or "DRIVER=...;DBQ=...");
// no dialog is ever shown, whatever completion is asked for.
SQLRETURN SQL_API SQLDriverConnect(SQLHDBC handle, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                   SQLSMALLINT outLength, SQLSMALLINT* fullOutLength, SQLUSMALLINT)
{
    if (handle == SQL_NULL_HDBC) return SQL_INVALID_HANDLE;
    auto* dbc = static_cast<DriverDbc*>(handle);
    const std::string text = TextArgument(in, inLength);
    const SQLRETURN result = Connect(*dbc, ConnectionStringValue(text, "DSN"), ConnectionStringValue(text, "DBQ"));
    if (!SQL_SUCCEEDED(result)) return result;
    CopyText(text, out, outLength, fullOutLength);
    return result;
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
