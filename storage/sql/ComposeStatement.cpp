#include "storage/sql/ComposeStatement.h"

#include "storage/sql/SQLException.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string ComposeStatement(std::size_t areaSize, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0 || static_cast<std::size_t>(length) >= areaSize) {
        va_end(args);
        CSQLException error;
        error.sqlState = "22001";
        error.message = "statement of " + std::to_string(length) + " bytes refused: longer than its " +
                        std::to_string(areaSize - 1) + "-byte area";
        throw error;
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    return std::string(text.data(), static_cast<std::size_t>(length));
}
