#pragma once

#include <cstddef>
#include <cstdint>

#include "core/DecodeStop.h"
#include "core/ReplyPath.h"
#include "core/TelemetryCore.h"

// The bytes of one connection on their way to the decoder. Every receive is decoded as it arrives;
// a frame or ADU cut by the end of a receive is held and decoded once, whole, in front of the
// bytes that complete it, so that it is never applied, echoed or answered in pieces.
//
// What happens to held bytes when the next receive comes:
// - a held frame followed by a receive that begins with a start mark ("$" not followed by another
//   "$") is decoded on its own first, as an unterminated frame always was; "$$" is the held
//   frame's end mark followed by the next frame's start mark, and joins;
// - a held ADU is always joined, since its next byte may be anything; when the joined bytes cannot
//   be an ADU (protocol id not 0, function not served) the held bytes are dropped and the receive
//   is decoded on its own;
// - held bytes growing past kMaxHeldBytes and an ADU whose extent is longer than that are dropped,
//   and the rest of that frame (up to its end mark) or ADU (up to its extent) is skipped;
// - held bytes of a connection that ends are dropped;
// - a receive of a lone "$" after a frame decoded on its own may be that frame's end mark: it is
//   held as a start mark, but forgotten without a count when the next receive starts a frame or
//   begins like an ADU.
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
    enum class Join : std::uint8_t {
        kJoined,        // decode the held bytes and the receive together
        kDecodedAlone,  // the held frame was decoded on its own; decode the receive alone
        kDropped,       // the held bytes are gone; decode the receive alone
        kStillCut,      // the held frame goes on in the receive and does not end there
    };

    Join JoinHeld(TelemetryCore& core, IReplyPath& reply, std::size_t n, char (&rtuTime)[15]);
    std::size_t SkipDropped(std::size_t begin, std::size_t end);
    void Hold(TelemetryCore& core, const DecodeStop& stop, std::size_t from, std::size_t end);
    void ClearHeld();

    // Held bytes first, then the latest receive, then a zero byte.
    std::uint8_t bytes[kMaxHeldBytes + kMaxReceive + 1] = {};
    std::size_t held = 0;
    std::size_t received = 0;
    CutKind heldKind = CutKind::kNone;
    std::size_t heldExtent = 0;
    char heldRtuTime[15] = {};  // the timestamp a held ADU after a frame carries
    bool heldMayBeEndMark = false;  // the held "$" came alone, right after a frame decoded on its own
    bool skipToEndMark = false;  // a dropped frame: skip through its end mark
    std::size_t skipBytes = 0;   // a dropped ADU: the rest of its extent
};
