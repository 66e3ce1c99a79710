#include "web/LabelText.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at `at`, 0 when there is none: a lead byte, its
// continuation bytes, and no overlong form, surrogate or value past U+10FFFF.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned lead = byte(0);
    if (lead < 0x80) return 1;
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80) return 0;
    const unsigned second = byte(1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

}  // namespace

std::string LabelText(std::string_view text, std::size_t maxCharacters) {
    std::string label;
    std::size_t at = 0;
    for (std::size_t characters = 0; at < text.size() && characters < maxCharacters; ++characters) {
        const std::size_t length = SequenceLength(text, at);
        label += length > 0 ? text.substr(at, length) : kReplacement;
        at += length > 0 ? length : 1;
    }
    return label;
}
