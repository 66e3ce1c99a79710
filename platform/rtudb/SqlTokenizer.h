#pragma once

#include <cctype>
#include <cstddef>
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
    bool ok = true;  // false when a literal or quoted name is not closed
};

// Every byte of the text belongs to exactly one token, so joining the tokens gives the text back.
TokenizedText Tokenize(std::string_view text);

// Small questions the rewriters ask of tokens.
inline bool IsBlank(const Token& token) { return token.kind == TokenKind::Space || token.kind == TokenKind::Comment; }

inline bool IsSymbol(const Token& token, char symbol) {
    return token.kind == TokenKind::Symbol && token.text[0] == symbol;
}

// `word` in upper case; the token matches in any letter case.
inline bool IsWord(const Token& token, std::string_view word) {
    if (token.kind != TokenKind::Word || token.text.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(token.text[i])) != word[i]) return false;
    return true;
}

// Index of the next token at or after `from` that is neither blank nor a comment, or size().
inline std::size_t NextSignificant(const std::vector<Token>& tokens, std::size_t from) {
    while (from < tokens.size() && IsBlank(tokens[from])) ++from;
    return from;
}
