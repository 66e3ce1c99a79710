#include "tools/replay/RecordJson.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

void AppendString(std::string& out, const char* text) {
    out += '"';
    for (const char* p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            // Bytes outside printable ASCII are shown as their Latin-1 code points.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void AppendNumber(std::string& out, float value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void AppendNumber(std::string& out, long long value) { out += std::to_string(value); }

template <class T, std::size_t N>
void AppendArray(std::string& out, const T (&values)[N]) {
    out += '[';
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) out += ',';
        if constexpr (std::is_floating_point_v<T>) {
            AppendNumber(out, values[i]);
        } else {
            AppendNumber(out, static_cast<long long>(values[i]));
        }
    }
    out += ']';
}

template <class T>
void AppendField(std::string& out, const char* name, const T& value) {
    out += ",\"";
    out += name;
    out += "\":";
    if constexpr (std::is_array_v<T> && std::is_same_v<std::remove_extent_t<T>, char>) {
        AppendString(out, value);
    } else if constexpr (std::is_array_v<T>) {
        AppendArray(out, value);
    } else if constexpr (std::is_floating_point_v<T>) {
        AppendNumber(out, value);
    } else {
        AppendNumber(out, static_cast<long long>(value));
    }
}

}  // namespace

std::string RecordToJson(std::size_t slot, const RtuRecord& r) {
    std::string out = "{\"slot\":" + std::to_string(slot);
    AppendField(out, "uidText", r.uidText);
    AppendField(out, "din", r.din);
    AppendField(out, "dout", r.dout);
    AppendField(out, "ain", r.ain);
    AppendField(out, "itemp", r.itemp);
    AppendField(out, "signal", r.signal);
    AppendField(out, "batt", r.batt);
    AppendField(out, "reg", r.reg);
    AppendField(out, "regKind", r.regKind);
    AppendField(out, "etemp", r.etemp);
    AppendField(out, "gps", r.gps);
    AppendField(out, "model", r.model);
    AppendField(out, "ecounter", r.ecounter);
    AppendField(out, "graycode", r.graycode);
    AppendField(out, "registString", r.registString);
    out += '}';
    return out;
}
