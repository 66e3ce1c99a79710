// Handing the diagnostic records of a handle to the driver manager.
#include "platform/rtudb/DriverHandles.h"

namespace {

Diagnostics* DiagnosticsOf(SQLSMALLINT type, SQLHANDLE handle) {
    if (handle == SQL_NULL_HANDLE) return nullptr;
    switch (type) {
        case SQL_HANDLE_ENV:
            return &static_cast<DriverEnv*>(handle)->diag;
        case SQL_HANDLE_DBC:
            return &static_cast<DriverDbc*>(handle)->diag;
        case SQL_HANDLE_STMT:
            return &static_cast<DriverStmt*>(handle)->diag;
        default:
            return nullptr;
    }
}

SQLRETURN CopyRecord(const DiagRecord& record, SQLCHAR* sqlState, SQLINTEGER* nativeError, SQLCHAR* message,
                     SQLSMALLINT messageLength, SQLSMALLINT* fullLength) {
    CopyText(record.sqlState, sqlState, 6, static_cast<SQLSMALLINT*>(nullptr));
    if (nativeError != nullptr) *nativeError = record.nativeError;
    return CopyText(record.message, message, messageLength, fullLength);
}

SQLRETURN HeaderField(SQLSMALLINT type, SQLHANDLE handle, const Diagnostics& diag, SQLSMALLINT field,
                      SQLPOINTER value) {
    switch (field) {
        case SQL_DIAG_NUMBER:
            *static_cast<SQLINTEGER*>(value) = diag.Count();
            return SQL_SUCCESS;
        case SQL_DIAG_ROW_COUNT:
            *static_cast<SQLLEN*>(value) = type == SQL_HANDLE_STMT ? static_cast<DriverStmt*>(handle)->rowCount : 0;
            return SQL_SUCCESS;
        case SQL_DIAG_CURSOR_ROW_COUNT:
            *static_cast<SQLLEN*>(value) = 0;
            return SQL_SUCCESS;
        case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
            *static_cast<SQLINTEGER*>(value) = 0;
            return SQL_SUCCESS;
        case SQL_DIAG_RETURNCODE:
            *static_cast<SQLRETURN*>(value) = SQL_SUCCESS;
            return SQL_SUCCESS;
        default:
            return SQL_ERROR;
    }
}

SQLRETURN RecordField(const DiagRecord& record, SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT length,
                      SQLSMALLINT* fullLength) {
    switch (field) {
        case SQL_DIAG_SQLSTATE:
            return CopyText(record.sqlState, value, length, fullLength);
        case SQL_DIAG_MESSAGE_TEXT:
            return CopyText(record.message, value, length, fullLength);
        case SQL_DIAG_NATIVE:
            *static_cast<SQLINTEGER*>(value) = record.nativeError;
            return SQL_SUCCESS;
        case SQL_DIAG_CLASS_ORIGIN:
            return CopyText("ISO 9075", value, length, fullLength);
        case SQL_DIAG_SUBCLASS_ORIGIN:
            return CopyText("ODBC 3.0", value, length, fullLength);
        case SQL_DIAG_CONNECTION_NAME:
        case SQL_DIAG_SERVER_NAME:
            return CopyText("", value, length, fullLength);
        case SQL_DIAG_COLUMN_NUMBER:
            *static_cast<SQLINTEGER*>(value) = SQL_COLUMN_NUMBER_UNKNOWN;
            return SQL_SUCCESS;
        case SQL_DIAG_ROW_NUMBER:
            *static_cast<SQLLEN*>(value) = SQL_ROW_NUMBER_UNKNOWN;
            return SQL_SUCCESS;
        default:
            return SQL_ERROR;
    }
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT number, SQLCHAR* sqlState,
                                SQLINTEGER* nativeError, SQLCHAR* message, SQLSMALLINT messageLength,
                                SQLSMALLINT* fullLength) {
    const Diagnostics* diag = DiagnosticsOf(type, handle);
    if (diag == nullptr) return SQL_INVALID_HANDLE;
    if (number < 1 || messageLength < 0) return SQL_ERROR;
    DiagRecord record;
    if (!diag->Get(number, record)) return SQL_NO_DATA;
    return CopyRecord(record, sqlState, nativeError, message, messageLength, fullLength);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT number, SQLSMALLINT field,
                                  SQLPOINTER value, SQLSMALLINT length, SQLSMALLINT* fullLength) {
    const Diagnostics* diag = DiagnosticsOf(type, handle);
    if (diag == nullptr) return SQL_INVALID_HANDLE;
    if (value == nullptr) return SQL_ERROR;
    if (number == 0) return HeaderField(type, handle, *diag, field, value);
    DiagRecord record;
    if (!diag->Get(number, record)) return SQL_NO_DATA;
    return RecordField(record, field, value, length, fullLength);
}

// The ODBC 2 call: each record is returned once, so a caller looping until SQL_NO_DATA ends.
SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* sqlState, SQLINTEGER* nativeError,
                           SQLCHAR* message, SQLSMALLINT messageLength, SQLSMALLINT* fullLength) {
    Diagnostics* diag = stmt != SQL_NULL_HSTMT ? DiagnosticsOf(SQL_HANDLE_STMT, stmt)
                        : dbc != SQL_NULL_HDBC ? DiagnosticsOf(SQL_HANDLE_DBC, dbc)
                                               : DiagnosticsOf(SQL_HANDLE_ENV, env);
    if (diag == nullptr) return SQL_INVALID_HANDLE;
    DiagRecord record;
    if (!diag->TakeFirst(record)) return SQL_NO_DATA;
    return CopyRecord(record, sqlState, nativeError, message, messageLength, fullLength);
}

}  // extern "C"
