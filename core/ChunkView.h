#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// A bounded window on received bytes. A position past the end reads as a zero byte, as the
// terminating zero after the data would, so no parser ever reads outside what arrived.
class ChunkView {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    ChunkView() = default;
    ChunkView(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    std::size_t Size() const { return size; }
    const std::uint8_t* Data() const { return data; }
    std::uint8_t At(std::size_t i) const { return i < size ? data[i] : 0; }

    // The byte at i taken as a decimal digit. Not checked: any other byte gives its distance from
    // '0' (negative, or above 9), and the frame fields use that value as it is.
    int Digit(std::size_t i) const { return static_cast<int>(At(i)) - '0'; }
    // The two-digit field at i ("07" is 7), with the same unchecked digit arithmetic.
    int TwoDigits(std::size_t i) const { return Digit(i) * 10 + Digit(i + 1); }

    std::uint16_t BigEndian16(std::size_t i) const { return static_cast<std::uint16_t>(At(i) << 8 | At(i + 1)); }
    std::uint32_t BigEndian32(std::size_t i) const {
        return static_cast<std::uint32_t>(BigEndian16(i)) << 16 | BigEndian16(i + 2);
    }
    std::uint32_t LittleEndian32(std::size_t i) const {
        return static_cast<std::uint32_t>(At(i)) | static_cast<std::uint32_t>(At(i + 1)) << 8 |
               static_cast<std::uint32_t>(At(i + 2)) << 16 | static_cast<std::uint32_t>(At(i + 3)) << 24;
    }

    // The bytes from i on; empty when i is at or past the end.
    ChunkView From(std::size_t i) const { return i < size ? ChunkView(data + i, size - i) : ChunkView(); }

    // The bytes from i up to the first zero byte or the end, read as text.
    std::string_view TextFrom(std::size_t i) const {
        if (i >= size) return {};
        const auto* start = reinterpret_cast<const char*>(data + i);
        const void* zero = std::memchr(start, 0, size - i);
        const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - start) : size - i;
        return {start, length};
    }

    // Position of the first byte c at or after i, or npos.
    std::size_t Find(std::uint8_t c, std::size_t i) const {
        if (i >= size) return npos;
        const void* hit = std::memchr(data + i, c, size - i);
        return hit ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data) : npos;
    }

private:
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};
