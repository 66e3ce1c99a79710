#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// An operator's text (a registry field) as a Prometheus label value: at most maxCharacters
// characters, and each byte that is no part of valid UTF-8 replaced by U+FFFD, since a scraper
// refuses a whole page over one such label. Quotes, backslashes and line breaks are left for the
// text serializer, which escapes them.
std::string LabelText(std::string_view text, std::size_t maxCharacters);
