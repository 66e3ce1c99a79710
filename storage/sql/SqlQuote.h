#pragma once

#include <string>
#include <string_view>

// The text with every single quote doubled, for the inside of a quoted SQL literal:
// O'Brien becomes O''Brien, written as 'O''Brien'. Every statement that quotes a text the
// program did not write itself (a unit id, a time or GPS text, a field value) passes it
// through here.
std::string DoubleQuotes(std::string_view text);
