#pragma once

#include <cstdint>

#include "core/ChunkView.h"

// Where a message begins. Every place where one can begin asks here: the first byte of a chunk, the
// byte after a frame's end mark, the bytes that follow a held frame, and a "$" met while the rest
// of a dropped frame is skipped.

// An answer that may need bytes that have not arrived yet.
enum class Verdict : std::uint8_t { kYes, kNo, kNotYet };

enum class MessageKind : std::uint8_t { kFrame, kAdu, kEndMark, kNotYet };

// What the bytes at a message start begin. A "$" and a frame header begin a frame. A "$" with
// zeros at offsets 2 and 3, where an ADU has its protocol id (frame text never holds a zero byte),
// is the first byte of an ADU whose transaction id is 0x24xx. A "$" followed by a frame header or
// a well-formed ADU, and not itself the first byte of one, is a frame's end mark that came late
// (kEndMark): the message after it is decoded, and an ADU there is never read a byte off (a read
// whose transaction id ends in 00 would have its length byte taken for a unit id and its unit id
// for a function code). Any other "$" begins a frame, however broken, and any other first byte an
// ADU. kNotYet: the bytes that would tell have not all arrived.
MessageKind MessageAt(const ChunkView& bytes);

// "$" and eight unit-id digits: the header of a frame.
Verdict FrameHeaderAt(const ChunkView& bytes);

// What a "$" found after a frame's payload is, by the bytes from it on (bytes.At(0) is "$").
enum class MarkRole : std::uint8_t {
    kEndMark,      // the frame's end mark: the next message begins after it
    kStartsFrame,  // the next frame's start mark ("$" and a frame header): the frame had none
    kStartsAdu,    // the first byte of a well-formed ADU (transaction id 0x24xx): the frame had none
    kUndecided,    // it may start a frame or an ADU, and too few bytes follow it to tell
};
MarkRole RoleOfMark(const ChunkView& bytes);
