// SQLGetInfo: what the driver and its data source are, for the driver manager and tools like isql.
#include "platform/rtudb/DriverHandles.h"

namespace {

SQLRETURN InfoText(const std::string& text, SQLPOINTER value, SQLSMALLINT length, SQLSMALLINT* full) {
    return CopyText(text, value, length, full);
}

template <typename Number>
SQLRETURN InfoNumber(Number number, SQLPOINTER value, SQLSMALLINT* full) {
    if (value != nullptr) *static_cast<Number*>(value) = number;
    if (full != nullptr) *full = sizeof(Number);
    return SQL_SUCCESS;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLGetInfo(SQLHDBC handle, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT length,
                             SQLSMALLINT* full) {
    if (handle == SQL_NULL_HDBC) return SQL_INVALID_HANDLE;
    auto* dbc = static_cast<DriverDbc*>(handle);
    dbc->diag.Clear();
    switch (type) {
        case SQL_DRIVER_NAME:
            return InfoText("libtelvorn-rtudb.so", value, length, full);
        case SQL_DRIVER_VER:
            return InfoText("01.00.0000", value, length, full);
        case SQL_DRIVER_ODBC_VER:
            return InfoText("03.00", value, length, full);
        case SQL_DBMS_NAME:
            return InfoText(dbc->engine ? dbc->engine->ProductName() : "", value, length, full);
        case SQL_DBMS_VER:
            return InfoText(dbc->engine ? dbc->engine->ProductVersion() : "", value, length, full);
        case SQL_DATA_SOURCE_NAME:
            return InfoText(dbc->dataSource, value, length, full);
        case SQL_SERVER_NAME:
        case SQL_USER_NAME:
        case SQL_DATABASE_NAME:
            return InfoText("", value, length, full);
        case SQL_IDENTIFIER_QUOTE_CHAR:
            return InfoText("\"", value, length, full);
        case SQL_DATA_SOURCE_READ_ONLY:
            return InfoText("N", value, length, full);
        case SQL_MULT_RESULT_SETS:
        case SQL_NEED_LONG_DATA_LEN:
            return InfoText("N", value, length, full);
        case SQL_TXN_CAPABLE:
            return InfoNumber<SQLUSMALLINT>(SQL_TC_NONE, value, full);
        case SQL_CURSOR_COMMIT_BEHAVIOR:
        case SQL_CURSOR_ROLLBACK_BEHAVIOR:
            return InfoNumber<SQLUSMALLINT>(SQL_CB_PRESERVE, value, full);
        case SQL_MAX_DRIVER_CONNECTIONS:
        case SQL_MAX_CONCURRENT_ACTIVITIES:
            return InfoNumber<SQLUSMALLINT>(0, value, full);
        case SQL_GETDATA_EXTENSIONS:
            return InfoNumber<SQLUINTEGER>(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER, value, full);
        case SQL_SCROLL_OPTIONS:
            return InfoNumber<SQLUINTEGER>(SQL_SO_FORWARD_ONLY, value, full);
        case SQL_TXN_ISOLATION_OPTION:
        case SQL_DEFAULT_TXN_ISOLATION:
            return InfoNumber<SQLUINTEGER>(SQL_TXN_SERIALIZABLE, value, full);
        default:
            return Fail(dbc->diag, "HY096", "information type not offered");
    }
}

}  // extern "C"
