#include "storage/sql/SqlQuote.h"

std::string DoubleQuotes(std::string_view text) {
    std::string doubled;
    doubled.reserve(text.size() + 2);
    for (char c : text) {
        doubled += c;
        if (c == '\'') doubled += '\'';
    }
    return doubled;
}
