#include "platform/rtudb/PostgresRewrite.h"

#include "platform/rtudb/LocalNow.h"

namespace {

constexpr const char* kByteOrder = " COLLATE \"C\"";

// TEXT or TEXT(n); returns the last token consumed.
std::size_t AppendTextType(const std::vector<Token>& tokens, std::size_t i, std::string& out) {
    const std::size_t open = NextSignificant(tokens, i + 1);
    const std::size_t length = NextSignificant(tokens, open + 1);
    const std::size_t close = NextSignificant(tokens, length + 1);
    if (close < tokens.size() && IsSymbol(tokens[open], '(') && tokens[length].kind == TokenKind::Number &&
        IsSymbol(tokens[close], ')')) {
        out += "varchar(";
        out += tokens[length].text;
        out += ")";
        out += kByteOrder;
        return close;
    }
    out += "text";
    out += kByteOrder;
    return i;
}

// now() as a literal; returns the last token consumed, or 0 when the tokens are not now().
std::size_t AppendNow(const std::vector<Token>& tokens, std::size_t i, std::string& out) {
    const std::size_t open = NextSignificant(tokens, i + 1);
    const std::size_t close = NextSignificant(tokens, open + 1);
    if (close >= tokens.size() || !IsSymbol(tokens[open], '(') || !IsSymbol(tokens[close], ')')) return 0;
    out += "'" + LocalNowText() + "'";
    return close;
}

std::size_t AppendWord(const std::vector<Token>& tokens, std::size_t i, bool definition, std::string& out) {
    const Token& token = tokens[i];
    if (definition) {
        if (IsWord(token, "TEXT")) return AppendTextType(tokens, i, out);
        if (IsWord(token, "BYTE")) return out += "smallint", i;
        if (IsWord(token, "INT")) return out += "integer", i;
        if (IsWord(token, "FLOAT")) return out += "double precision", i;
    }
    if (IsWord(token, "NOW"))
        if (const std::size_t close = AppendNow(tokens, i, out); close != 0) return close;
    out += FoldedName(token.text);
    return i;
}

}  // namespace

std::string FoldedName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::size_t AppendPostgresToken(const std::vector<Token>& tokens, std::size_t i, bool definition, std::string& out) {
    const Token& token = tokens[i];
    if (token.kind == TokenKind::Word) return AppendWord(tokens, i, definition, out);
    if (token.kind == TokenKind::QuotedName && token.text[0] != '"') {
        out += '"';
        for (const char c : token.text.substr(1, token.text.size() - 2)) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
        return i;
    }
    out += token.text;
    return i;
}
