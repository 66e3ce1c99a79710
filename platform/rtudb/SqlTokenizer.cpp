#include "platform/rtudb/SqlTokenizer.h"

#include <cctype>

namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$'; }

// A bounded reader: a position past the end reads as NUL.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}
    char At(std::size_t pos) const { return pos < text_.size() ? text_[pos] : '\0'; }
    std::size_t Size() const { return text_.size(); }

private:
    std::string_view text_;
};

// Length of a quoted run that starts at pos with `open` and ends at `close`; a doubled
// closing character stands for itself. Returns 0 when the run is not closed.
std::size_t QuotedLength(const Cursor& in, std::size_t pos, char close, bool doubling) {
    for (std::size_t i = pos + 1; i < in.Size(); ++i) {
        if (in.At(i) != close) continue;
        if (doubling && in.At(i + 1) == close) {
            ++i;
            continue;
        }
        return i - pos + 1;
    }
    return 0;
}

std::size_t CommentLength(const Cursor& in, std::size_t pos) {
    std::size_t i = pos + 2;
    if (in.At(pos) == '-') {
        while (i < in.Size() && in.At(i) != '\n') ++i;
        return i - pos;
    }
    while (i < in.Size() && !(in.At(i) == '*' && in.At(i + 1) == '/')) ++i;
    return (i < in.Size() ? i + 2 : in.Size()) - pos;
}

// A run of word characters that starts with a digit is a number only in one of the numeric
// shapes; anything else (12_DIN0, 7abc) is a name.
bool IsNumericRun(std::string_view run) {
    if (run.size() > 2 && run[0] == '0' && (run[1] == 'x' || run[1] == 'X')) {
        for (std::size_t i = 2; i < run.size(); ++i)
            if (!std::isxdigit(static_cast<unsigned char>(run[i]))) return false;
        return true;
    }
    std::size_t i = 0;
    while (i < run.size() && IsDigit(run[i])) ++i;
    if (i < run.size() && (run[i] == 'e' || run[i] == 'E')) ++i;
    while (i < run.size() && IsDigit(run[i])) ++i;
    return i == run.size();
}

std::size_t NumberLength(const Cursor& in, std::size_t pos) {
    std::size_t i = pos;
    if (in.At(i) == '0' && (in.At(i + 1) == 'x' || in.At(i + 1) == 'X')) {
        i += 2;
        while (std::isxdigit(static_cast<unsigned char>(in.At(i)))) ++i;
        return i - pos;
    }
    while (IsDigit(in.At(i))) ++i;
    if (in.At(i) == '.') {
        ++i;
        while (IsDigit(in.At(i))) ++i;
    }
    if ((in.At(i) == 'e' || in.At(i) == 'E') &&
        (IsDigit(in.At(i + 1)) || ((in.At(i + 1) == '+' || in.At(i + 1) == '-') && IsDigit(in.At(i + 2))))) {
        i += 2;
        while (IsDigit(in.At(i))) ++i;
    }
    return i - pos;
}

std::size_t WordRunLength(const Cursor& in, std::size_t pos) {
    std::size_t i = pos;
    while (IsWordChar(in.At(i))) ++i;
    return i - pos;
}

// Kind and length of the token at pos; length 0 means an unclosed literal.
Token NextToken(std::string_view text, const Cursor& in, std::size_t pos) {
    auto make = [&](TokenKind kind, std::size_t length) { return Token{kind, text.substr(pos, length)}; };
    const char c = in.At(pos);
    if (IsSpace(c)) {
        std::size_t i = pos;
        while (i < in.Size() && IsSpace(in.At(i))) ++i;
        return make(TokenKind::Space, i - pos);
    }
    if ((c == '-' && in.At(pos + 1) == '-') || (c == '/' && in.At(pos + 1) == '*'))
        return make(TokenKind::Comment, CommentLength(in, pos));
    if (c == '\'') return make(TokenKind::String, QuotedLength(in, pos, '\'', true));
    if (c == '"') return make(TokenKind::QuotedName, QuotedLength(in, pos, '"', true));
    if (c == '`') return make(TokenKind::QuotedName, QuotedLength(in, pos, '`', true));
    if (c == '[') return make(TokenKind::QuotedName, QuotedLength(in, pos, ']', false));
    if (IsDigit(c) || (c == '.' && IsDigit(in.At(pos + 1)))) {
        const std::size_t run = WordRunLength(in, pos);
        if (c != '.' && !IsNumericRun(text.substr(pos, run))) return make(TokenKind::Word, run);
        return make(TokenKind::Number, NumberLength(in, pos));
    }
    if (IsWordChar(c)) return make(TokenKind::Word, WordRunLength(in, pos));
    return make(TokenKind::Symbol, 1);
}

}  // namespace

TokenizedText Tokenize(std::string_view text) {
    TokenizedText result;
    const Cursor in(text);
    std::size_t pos = 0;
    while (pos < text.size()) {
        Token token = NextToken(text, in, pos);
        if (token.text.empty()) {
            result.ok = false;
            return result;
        }
        result.tokens.push_back(token);
        pos += token.text.size();
    }
    return result;
}
