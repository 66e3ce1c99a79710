#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ChunkView.h"
#include "core/DecodeStop.h"
#include "core/ReplyPath.h"
#include "core/TelemetryCore.h"

// The bytes of one connection on their way to the decoder. Every receive is decoded as it arrives;
// a frame or ADU cut by the end of a receive is held and decoded once, whole, in front of the
// bytes that complete it, so that it is never applied, echoed or answered in pieces.
//
// What happens to held bytes when the next receive comes:
// - a held frame followed by a receive that begins with a start mark is decoded on its own first,
//   as an unterminated frame always was. A "$" followed by another "$" (the next frame's start
//   mark) or by the start of an ADU (a protocol id of zeros, a served function) is the held
//   frame's end mark, and joins. While too few bytes follow the "$" to tell, the held frame is
//   decoded with the "$" as its end mark (whole either way), and the "$" stays held until the
//   bytes after it tell whether it starts a frame too;
// - a held ADU is always joined, since its next byte may be anything; when the joined bytes cannot
//   be an ADU (protocol id not 0, function not served) the held bytes are dropped and the receive
//   is decoded on its own;
// - held bytes growing past kMaxHeldBytes and an ADU whose extent is longer than that are dropped,
//   and the rest of that frame (up to its end mark) or ADU (up to its extent) is skipped;
// - held bytes of a connection that ends are dropped.
// Every drop counts in unknowCount and adds one line to the raw-data list.
//
// Not thread-safe: a connection's receives are decoded one at a time (the server holds the
// connection's lock), different streams may be used in parallel.
class ReceiveStream {
public:
    static constexpr std::size_t kMaxReceive = kMaxHeldBytes;

    ReceiveStream() = default;
    ReceiveStream(const ReceiveStream&) = delete;
    ReceiveStream& operator=(const ReceiveStream&) = delete;

    // Copies one receive of 1..kMaxReceive bytes in behind the held bytes, for the next Decode.
    void Take(const std::uint8_t* data, std::size_t size);
    // Logs the receive taken last and decodes it after the held bytes.
    void Decode(TelemetryCore& core, IReplyPath& reply);
    // The connection has ended: held bytes are dropped, and the stream is empty again.
    void Close(TelemetryCore& core);
    // Empties the stream without counting anything, for a new connection.
    void Reset();

    std::size_t Held() const { return held; }
    CutKind HeldKind() const { return heldKind; }
    // The receive taken last, followed by a zero byte, until it is decoded.
    const std::uint8_t* Received() const { return bytes + held; }
    std::size_t ReceivedSize() const { return received; }

private:
    enum class Mark : std::uint8_t { kEndMark, kStartMark, kUndecided };
    struct Joined {
        std::size_t begin;  // where decoding starts: 0 joins the held bytes, else after them
        bool stillCut;      // the held frame goes on: hold everything
    };

    static Mark MarkMeaning(const ChunkView& after);
    Joined JoinHeld(TelemetryCore& core, IReplyPath& reply, std::size_t end, char (&rtuTime)[15]);
    std::size_t SkipDropped(std::size_t begin, std::size_t end);
    void Hold(TelemetryCore& core, const DecodeStop& stop, std::size_t from, std::size_t end);
    void ClearHeld();

    // Held bytes first, then the latest receive, then a zero byte.
    std::uint8_t bytes[kMaxHeldBytes + kMaxReceive + 1] = {};
    std::size_t held = 0;
    std::size_t received = 0;
    CutKind heldKind = CutKind::kNone;
    std::size_t heldExtent = 0;
    char heldRtuTime[15] = {};  // the timestamp a held ADU (or what follows a held "$") carries
    // The held bytes begin with a "$" that ended the frame before it; whether it also starts a
    // frame is still undecided.
    bool heldMarkUsed = false;
    bool skipToEndMark = false;  // a dropped frame: skip through its end mark
    std::size_t skipBytes = 0;   // a dropped ADU: the rest of its extent
};
