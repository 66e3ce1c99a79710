#pragma once

#include <cstddef>
#include <cstdint>

// A connection holds at most one receive's worth (4095 bytes) of a message it has not finished.
inline constexpr std::size_t kMaxHeldBytes = 4095;

// What kind of message runs past the end of the bytes being decoded.
enum class CutKind : std::uint8_t {
    kNone,   // everything was decoded
    kFrame,  // an RTU I/O frame whose end mark has not arrived
    // A "$" that ended the frame before it, with too few bytes after it to tell whether it also
    // starts a frame or an ADU; the frame before it has been decoded.
    kMark,
    kAdu,  // a Modbus/TCP ADU whose extent has not arrived, well-formed so far
};

// Where decoding of a chunk stopped. A cut frame or ADU starts at `offset` and runs to the end of
// the chunk; nothing of it has been applied, logged or answered.
struct DecodeStop {
    CutKind kind = CutKind::kNone;
    std::size_t offset = 0;
    char rtuTime[15] = {};  // the timestamp of the chunk's last frame, which an ADU after it carries
};
