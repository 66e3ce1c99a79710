// Opening and closing the engine behind a data source.
#include "platform/rtudb/DriverHandles.h"

#include <odbcinst.h>

#include <strings.h>
#include <utility>
#include <vector>

namespace {

constexpr int kDataSourceValueSize = 4096;  // room for one odbc.ini value

std::string DataSourceValue(const std::string& dataSource, const char* key) {
    if (dataSource.empty()) return {};
    std::vector<char> value(kDataSourceValueSize, '\0');
    SQLGetPrivateProfileString(dataSource.c_str(), key, "", value.data(), static_cast<int>(value.size()), "odbc.ini");
    return value.data();
}

// Value of `key` in a "KEY=value;KEY={value; with semicolons};..." connection string, keys
// in any letter case; empty when absent.
std::string ConnectionStringValue(const std::string& text, const char* key) {
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

// A key of the connection string wins over the data source's entry.
DataSourceSettings ReadSettings(const std::string& dataSource, const std::string& connectionString) {
    auto value = [&](const char* key) {
        std::string given = ConnectionStringValue(connectionString, key);
        return given.empty() ? DataSourceValue(dataSource, key) : given;
    };
    DataSourceSettings settings;
    settings.dataSource = dataSource;
    settings.engine = value("ENGINE");
    settings.file = value("DBQ");
    settings.server = value("SERVER");
    settings.port = value("PORT");
    settings.database = value("DATABASE");
    settings.schema = value("SCHEMA");
    return settings;
}

SQLRETURN Connect(DriverDbc& dbc, DataSourceSettings settings) {
    dbc.diag.Clear();
    if (dbc.engine != nullptr) return Fail(dbc.diag, "08002", "connection already open");
    dbc.dataSource = settings.dataSource;
    settings.loginTimeoutSeconds = dbc.loginTimeoutSeconds;
    EngineError error;
    dbc.engine = OpenEngine(settings, error);
    if (dbc.engine == nullptr) return FailFromEngine(dbc.diag, error);
    dbc.engine->SetQueryTimeout(static_cast<unsigned>(dbc.queryTimeoutSeconds));
    return SQL_SUCCESS;
}

}  // namespace

extern "C" {

// User name and password go to a server engine; the SQLite file has no accounts and ignores them.
SQLRETURN SQL_API SQLConnect(SQLHDBC handle, SQLCHAR* dataSource, SQLSMALLINT dataSourceLength, SQLCHAR* user,
                             SQLSMALLINT userLength, SQLCHAR* password, SQLSMALLINT passwordLength) {
    if (handle == SQL_NULL_HDBC) return SQL_INVALID_HANDLE;
    DataSourceSettings settings = ReadSettings(TextArgument(dataSource, dataSourceLength), {});
    settings.user = TextArgument(user, userLength);
    settings.password = TextArgument(password, passwordLength);
    return Connect(*static_cast<DriverDbc*>(handle), std::move(settings));
}

// For clients that connect with a connection string ("DSN=RTUDB" or "DRIVER=...;DBQ=...");
// no dialog is ever shown, whatever completion is asked for.
SQLRETURN SQL_API SQLDriverConnect(SQLHDBC handle, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                   SQLSMALLINT outLength, SQLSMALLINT* fullOutLength, SQLUSMALLINT) {
    if (handle == SQL_NULL_HDBC) return SQL_INVALID_HANDLE;
    auto* dbc = static_cast<DriverDbc*>(handle);
    const std::string text = TextArgument(in, inLength);
    DataSourceSettings settings = ReadSettings(ConnectionStringValue(text, "DSN"), text);
    settings.user = ConnectionStringValue(text, "UID");
    settings.password = ConnectionStringValue(text, "PWD");
    const SQLRETURN result = Connect(*dbc, std::move(settings));
    if (!SQL_SUCCEEDED(result)) return result;
    CopyText(text, out, outLength, fullOutLength);
    return result;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC handle) {
    if (handle == SQL_NULL_HDBC) return SQL_INVALID_HANDLE;
    auto* dbc = static_cast<DriverDbc*>(handle);
    dbc->diag.Clear();
    if (dbc->engine == nullptr) return Fail(dbc->diag, "08003", "connection not open");
    {
        std::lock_guard lock(dbc->statementsMutex);
        for (DriverStmt* stmt : dbc->statements) ResetStatement(*stmt);
    }
    dbc->engine.reset();
    return SQL_SUCCESS;
}

}  // extern "C"
