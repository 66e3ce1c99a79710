#include "platform/rtudb/SqlRewriter.h"

#include "platform/rtudb/PostgresRewrite.h"
#include "platform/rtudb/SqlTokenizer.h"

#include <cctype>

namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// Matches { d|t|ts 'text' } starting at the brace; returns the index of the closing brace
// and the literal's index, or 0 when the tokens do not form a date escape.
std::size_t MatchDateEscape(const std::vector<Token>& tokens, std::size_t brace, std::size_t& literal) {
    const std::size_t kind = NextSignificant(tokens, brace + 1);
    if (kind >= tokens.size() ||
        !(IsWord(tokens[kind], "D") || IsWord(tokens[kind], "T") || IsWord(tokens[kind], "TS")))
        return 0;
    literal = NextSignificant(tokens, kind + 1);
    if (literal >= tokens.size() || tokens[literal].kind != TokenKind::String) return 0;
    const std::size_t close = NextSignificant(tokens, literal + 1);
    if (close >= tokens.size() || !IsSymbol(tokens[close], '}')) return 0;
    return close;
}

// True when something other than blanks, comments and semicolons follows position `from`.
bool HasFurtherStatement(const std::vector<Token>& tokens, std::size_t from) {
    for (std::size_t i = from; i < tokens.size(); ++i)
        if (!IsBlank(tokens[i]) && !IsSymbol(tokens[i], ';')) return true;
    return false;
}

// Appends token i (rewritten when needed) and returns the index of the last token it consumed.
std::size_t AppendToken(const std::vector<Token>& tokens, std::size_t i, std::size_t previous, SqlDialect dialect,
                        bool definition, std::string& out) {
    const Token& token = tokens[i];
    if (token.kind == TokenKind::Word && std::isdigit(static_cast<unsigned char>(token.text[0]))) {
        out += '"';
        out += dialect == SqlDialect::Postgres ? FoldedName(token.text) : std::string(token.text);
        out += '"';
        return i;
    }
    if (IsSymbol(token, '*') && previous < tokens.size() && IsWord(tokens[previous], "DELETE")) {
        const std::size_t next = NextSignificant(tokens, i + 1);
        if (next < tokens.size() && IsWord(tokens[next], "FROM")) return i;
    }
    if (IsSymbol(token, '{')) {
        std::size_t literal = 0;
        if (const std::size_t close = MatchDateEscape(tokens, i, literal); close != 0) {
            out += tokens[literal].text;
            return close;
        }
    }
    if (dialect == SqlDialect::Postgres) return AppendPostgresToken(tokens, i, definition, out);
    out += token.text;
    return i;
}

}  // namespace

RewrittenStatement RewriteStatement(std::string_view text, SqlDialect dialect) {
    RewrittenStatement result;
    const TokenizedText tokenized = Tokenize(text);
    if (!tokenized.ok) {
        result.error = "unterminated string literal or quoted name";
        return result;
    }
    const std::vector<Token>& tokens = tokenized.tokens;
    std::size_t previous = tokens.size();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (IsSymbol(tokens[i], ';')) {
            if (HasFurtherStatement(tokens, i + 1)) {
                result.error = "only one statement per call is accepted; text after ';' refused";
                return result;
            }
            break;
        }
        if (result.verb.empty() && tokens[i].kind == TokenKind::Word) result.verb = Upper(tokens[i].text);
        const bool definition = result.verb == "CREATE" || result.verb == "ALTER";
        i = AppendToken(tokens, i, previous, dialect, definition, result.sql);
        if (!IsBlank(tokens[i])) previous = i;
    }
    if (result.verb.empty()) {
        result.error = "no statement given";
        return result;
    }
    result.ok = true;
    return result;
}
