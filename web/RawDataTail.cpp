#include "web/RawDataTail.h"

#include <cstring>

void RawDataTail::AddLine(const char* text) {
    if (text != nullptr) {
        std::size_t length = strnlen(text, kMaxLineBytes);
        while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
        std::lock_guard guard(lock);
        ring[newest % kLines].assign(text, length);
        ++newest;
    }
    if (next != nullptr) {
        next->AddLine(text);
    } else {
        ++ownCount;
    }
}

int RawDataTail::Count() { return next != nullptr ? next->Count() : ownCount.load(); }

void RawDataTail::Clear() {
    if (next != nullptr) {
        next->Clear();
    } else {
        ownCount = 0;
    }
}

std::uint64_t RawDataTail::LinesAfter(std::uint64_t after, std::vector<std::string>& lines) const {
    std::lock_guard guard(lock);
    std::uint64_t first = after + 1;
    if (newest > kLines && first <= newest - kLines) first = newest - kLines + 1;
    for (std::uint64_t n = first; n <= newest; ++n) lines.push_back(ring[(n - 1) % kLines]);
    return newest;
}
