#pragma once

#include <cstddef>
#include <string>

// Formats a statement as printf does, within an area of `areaSize` bytes (terminating NUL
// included). A text that would not fit is refused with CSQLException (SQLSTATE 22001) instead
// of being cut or overflowing, so a statement is either whole or never run.
std::string ComposeStatement(std::size_t areaSize, const char* format, ...) __attribute__((format(printf, 2, 3)));
