#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ChunkView.h"
#include "core/DecodeStop.h"
#include "core/ReplyPath.h"
#include "core/TelemetryCore.h"

// The bytes of one connection on their way to the decoder. Every receive is decoded as it arrives;
// a frame or ADU cut by the end of a receive is held and decoded once, whole, in front of the
// bytes that complete it, so that it is never applied, echoed or answered in pieces. A message
// that would be decoded in a receive of its own is never lost to a malformed one before it.
//
// What is held, and what the next receive R does to it (J: the held bytes followed by R). Where a
// message begins is decided in core/MessageStart.h, alike for every row:
//
//   held                  R, or J                                        then
//   empty                 -                                              R decoded from its first byte
//   frame, cut            J begins an ADU after all ("$", 0 0 at 2..3)   -> ADU
//                         R begins a message: a well-formed ADU, zeros   the frame decoded alone (as an
//                           at 2..3, a "$" that starts a frame or ADU      unterminated one always was), then R
//                         a "$" that ends the frame, or text up to a "$" J decoded
//                         a "$" that may do either                       the frame decoded with it; -> mark
//                         text without a "$"                             held on; past kMaxHeldBytes dropped
//                                                                          and the rest of it skipped: -> skip
//   mark: a "$" that      J shows it is the end mark                     decoded from after the "$"
//     ended a decoded     J shows it starts a frame or an ADU            J decoded
//     frame, few bytes    still undecided                                held on
//   ADU, well-formed      J is no ADU (protocol id, function)            the ADU dropped; R decoded alone
//     so far, or its      otherwise                                      J decoded: served, held on, or (never
//     header incomplete                                                    well-formed) its header dropped alone
//   skip: nothing held    R's first "$" ends the dropped frame           decoded from after it
//                         R's first "$" starts a frame or an ADU         decoded from it
//                         R's first "$" may do either                    -> mark
//
// Every drop counts in unknowCount and adds one line to the raw-data list; held bytes of a
// connection that ends are dropped.
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
    // The receive taken last, followed by a zero byte, until it is decoded.
    const std::uint8_t* Received() const { return bytes + held; }
    std::size_t ReceivedSize() const { return received; }

private:
    enum class State : std::uint8_t { kEmpty, kFrame, kMark, kAdu, kSkip };

    // One per held state; `end` is where the receive ends in `bytes`.
    void JoinFrame(TelemetryCore& core, IReplyPath& reply, std::size_t end);
    void JoinMark(TelemetryCore& core, IReplyPath& reply, std::size_t end);
    void JoinAdu(TelemetryCore& core, IReplyPath& reply, std::size_t end);
    void SkipDropped(TelemetryCore& core, IReplyPath& reply, std::size_t end);

    void DecodeWithMark(TelemetryCore& core, IReplyPath& reply, std::size_t end);
    // Decodes bytes[begin, end) as a chunk and holds what is cut at its end.
    void DecodeFrom(TelemetryCore& core, IReplyPath& reply, std::size_t begin, std::size_t end, bool asAdu,
                    const char* rtuTime);
    void Hold(TelemetryCore& core, const DecodeStop& stop, std::size_t from, std::size_t end);
    // Keeps everything up to end held as it is.
    void HoldOn(TelemetryCore& core, std::size_t end);
    void ClearHeld();

    // Held bytes first, then the latest receive, then a zero byte.
    std::uint8_t bytes[kMaxHeldBytes + kMaxReceive + 1] = {};
    std::size_t held = 0;
    std::size_t received = 0;
    State state = State::kEmpty;
    char heldRtuTime[15] = {};  // the timestamp a held ADU (or what follows a held "$") carries
};
