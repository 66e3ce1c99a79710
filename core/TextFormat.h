#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

// printf-style formatting into a string of any length.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Bytes as "%2.2x " each, for the raw data page. Only bytes whose text starts before column 1024
// appear (the first 342), which keeps one dump line within the page's line buffer.
std::string HexDump(const std::uint8_t* bytes, std::size_t length);

// The text with every control character (below 0x20, and 0x7f) replaced by "?", so that bytes from
// a frame can never start a new line or move the cursor in a line of their own.
std::string PrintableText(const char* text);
