#pragma once

#include <string>
#include <string_view>

// The server takes statement text as UTF-8 (the driver sets client_encoding) and refuses a
// statement with a byte sequence that is not UTF-8, while SQLite stores whatever bytes it is
// given. So that the server stores every text SQLite stores (a frame's time stamp with GPRS line
// noise in it), each byte that is not part of a valid UTF-8 sequence is sent as the character of
// the same number, U+0080..U+00FF, as Latin-1 reads it: 0xFF is stored as "ÿ", a lone 0xC3 as "Ã".
// Valid UTF-8 is left as it is, and the conversion is the same for every statement, so a query
// finds a text as it was stored.
std::string ValidUtf8(std::string_view text);
