#pragma once

#include <string_view>
#include <vector>

// The lexical pieces of an SQL text, in the shapes SQLite itself knows.
enum class TokenKind {
    Space,       // blanks and line ends
    Comment,     // -- to the line end, or /* ... */
    String,      // '...' with '' inside
    QuotedName,  // "...", `...` or [...]
    Word,        // a keyword or a bare name, possibly beginning with a digit
    Number,      // 12, 5.25, 1e-3, 0x1F
    Symbol,      // any other single character
};

struct Token {
    TokenKind kind;
    std::string_view text;
};

struct TokenizedText {
    std::vector<Token> tokens;
    bool ok = true;           // false when a literal or quoted name is not closed
};

// Every byte of the text belongs to exactly one token, so joining the tokens gives the text back.
TokenizedText Tokenize(std::string_view text);
