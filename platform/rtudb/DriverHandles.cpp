#include "platform/rtudb/DriverHandles.h"

#include <algorithm>
#include <cstring>

void Diagnostics::Clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

void Diagnostics::Add(const char* sqlState, const std::string& message, SQLINTEGER nativeError) {
    std::lock_guard lock(mutex_);
    records_.push_back(DiagRecord{sqlState, message, nativeError});
}

bool Diagnostics::Get(SQLSMALLINT number, DiagRecord& record) const {
    std::lock_guard lock(mutex_);
    if (number < 1 || static_cast<std::size_t>(number) > records_.size()) return false;
    record = records_[static_cast<std::size_t>(number) - 1];
    return true;
}

bool Diagnostics::TakeFirst(DiagRecord& record) {
    std::lock_guard lock(mutex_);
    if (records_.empty()) return false;
    record = records_.front();
    records_.erase(records_.begin());
    return true;
}

SQLINTEGER Diagnostics::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<SQLINTEGER>(records_.size());
}

SQLRETURN Fail(Diagnostics& diag, const char* sqlState, const std::string& message, SQLINTEGER nativeError) {
    diag.Add(sqlState, "[Telvorn RTUDB] " + message, nativeError);
    return SQL_ERROR;
}

SQLRETURN FailFromEngine(Diagnostics& diag, const EngineError& error) {
    return Fail(diag, error.sqlState.c_str(), error.message, error.nativeError);
}

namespace {

template <typename Length>
SQLRETURN CopyTextImpl(const std::string& text, SQLPOINTER buffer, SQLLEN bufferLength, Length* fullLength) {
    if (fullLength != nullptr) *fullLength = static_cast<Length>(text.size());
    if (buffer == nullptr) return SQL_SUCCESS;
    if (bufferLength <= 0) return text.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
    const std::size_t room = static_cast<std::size_t>(bufferLength) - 1;
    const std::size_t count = std::min(room, text.size());
    std::memcpy(buffer, text.data(), count);
    static_cast<char*>(buffer)[count] = '\0';
    return count < text.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // namespace

SQLRETURN CopyText(const std::string& text, SQLPOINTER buffer, SQLLEN bufferLength, SQLLEN* fullLength) {
    return CopyTextImpl(text, buffer, bufferLength, fullLength);
}

SQLRETURN CopyText(const std::string& text, SQLPOINTER buffer, SQLLEN bufferLength, SQLSMALLINT* fullLength) {
    return CopyTextImpl(text, buffer, bufferLength, fullLength);
}

std::string TextArgument(const SQLCHAR* text, SQLLEN length) {
    if (text == nullptr) return {};
    const char* chars = reinterpret_cast<const char*>(text);
    if (length == SQL_NTS || length < 0) return std::string(chars);
    return std::string(chars, static_cast<std::size_t>(length));
}

void ResetStatement(DriverStmt& stmt) {
    stmt.rows.reset();
    stmt.cursor = CursorState::None;
    stmt.rowCount = -1;
    stmt.dataRead = {};
}
