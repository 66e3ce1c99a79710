#include "core/ReceiveStream.h"

#include <algorithm>
#include <cstring>

#include "core/MessageStart.h"
#include "core/ModbusService.h"

namespace {

constexpr std::uint8_t kMark = '$';

// Whether a receive that follows a held frame, and does not begin with "$", begins a message of its
// own rather than going on with the frame's text. Frame text never holds a zero byte.
bool BeginsMessage(const ChunkView& receive) {
    if (PlausibleAdu(receive) == Verdict::kYes) return true;
    // One more character of text and the end mark: the frame goes on, whatever follows it.
    if (receive.At(0) != 0 && receive.At(1) == kMark) return false;
    // Zeros where an ADU has its protocol id, or a zero byte and no end mark at all.
    if (receive.Size() >= 4 && receive.At(2) == 0 && receive.At(3) == 0) return true;
    return receive.Find(kMark, 0) == ChunkView::npos && receive.Find(0, 0) != ChunkView::npos;
}

}  // namespace

void ReceiveStream::Take(const std::uint8_t* data, std::size_t size) {
    size = std::min(size, kMaxReceive);
    std::memcpy(bytes + held, data, size);
    bytes[held + size] = 0;
    received = size;
}

void ReceiveStream::Decode(TelemetryCore& core, IReplyPath& reply) {
    const std::size_t end = held + received;
    received = 0;
    core.LogChunk(bytes + held, end - held, state == State::kFrame || state == State::kMark || state == State::kSkip);
    switch (state) {
        case State::kEmpty:
            return DecodeFrom(core, reply, 0, end, false, "");
        case State::kFrame:
            return JoinFrame(core, reply, end);
        case State::kMark:
            return JoinMark(core, reply, end);
        case State::kAdu:
            return JoinAdu(core, reply, end);
        case State::kSkip:
            return SkipDropped(core, reply, end);
    }
}

void ReceiveStream::JoinFrame(TelemetryCore& core, IReplyPath& reply, std::size_t end) {
    const ChunkView joined(bytes, end);
    switch (MessageAt(joined)) {
        case MessageKind::kAdu:  // the "$" was the first byte of an ADU after all
            state = State::kAdu;
            return JoinAdu(core, reply, end);
        case MessageKind::kEndMark:  // a late end mark of the frame before, and a message after it
            return DecodeFrom(core, reply, 1, end, false, heldRtuTime);
        case MessageKind::kNotYet:
            return HoldOn(core, end);
        case MessageKind::kFrame:
            break;
    }
    const ChunkView receive = joined.From(held);
    if (receive.At(0) == kMark) {
        switch (RoleOfMark(receive)) {
            case MarkRole::kEndMark:
                return DecodeFrom(core, reply, 0, end, false, "");
            case MarkRole::kUndecided:
                return DecodeWithMark(core, reply, end);
            case MarkRole::kStartsFrame:
            case MarkRole::kStartsAdu:
                break;
        }
    } else if (!BeginsMessage(receive)) {
        // A frame ends with a "$": without one in the receive it is still cut.
        if (receive.Find(kMark, 0) == ChunkView::npos) return HoldOn(core, end);
        return DecodeFrom(core, reply, 0, end, false, "");
    }
    // The held frame had no end mark: decoded on its own, as an unterminated frame always was.
    core.DecodeBytes(bytes, held, reply, false);
    DecodeFrom(core, reply, held, end, false, "");
}

void ReceiveStream::JoinMark(TelemetryCore& core, IReplyPath& reply, std::size_t end) {
    switch (RoleOfMark(ChunkView(bytes, end))) {
        case MarkRole::kEndMark:  // what follows carries the timestamp of the frame it ended
            return DecodeFrom(core, reply, 1, end, false, heldRtuTime);
        case MarkRole::kStartsFrame:
            return DecodeFrom(core, reply, 0, end, false, "");
        case MarkRole::kStartsAdu:
            return DecodeFrom(core, reply, 0, end, true, heldRtuTime);
        case MarkRole::kUndecided:
            return HoldOn(core, end);
    }
}

void ReceiveStream::JoinAdu(TelemetryCore& core, IReplyPath& reply, std::size_t end) {
    if (InspectAdu(ChunkView(bytes, end)).shape == AduShape::kNotAdu) {
        core.DropUnfinished(CutKind::kAdu, held);
        return DecodeFrom(core, reply, held, end, false, "");
    }
    DecodeFrom(core, reply, 0, end, true, heldRtuTime);
}

// The first "$" of the receive ends the dropped frame or starts the next message (frame text holds
// no "$"); until one comes, everything is more of the dropped frame.
void ReceiveStream::SkipDropped(TelemetryCore& core, IReplyPath& reply, std::size_t end) {
    const std::size_t mark = ChunkView(bytes, end).Find(kMark, 0);
    if (mark == ChunkView::npos) return;
    switch (RoleOfMark(ChunkView(bytes + mark, end - mark))) {
        case MarkRole::kEndMark:
            return DecodeFrom(core, reply, mark + 1, end, false, "");
        case MarkRole::kStartsFrame:
            return DecodeFrom(core, reply, mark, end, false, "");
        case MarkRole::kStartsAdu:
            return DecodeFrom(core, reply, mark, end, true, "");
        case MarkRole::kUndecided:
            return Hold(core, DecodeStop{CutKind::kMark}, mark, end);
    }
}

// Either way the held frame is whole now: decoded with the "$" as its end mark, which stays held
// until the bytes after it tell whether it starts a frame or an ADU as well.
void ReceiveStream::DecodeWithMark(TelemetryCore& core, IReplyPath& reply, std::size_t end) {
    DecodeStop mark{CutKind::kMark};
    std::memcpy(mark.rtuTime, core.DecodeBytes(bytes, held + 1, reply, false).rtuTime, sizeof mark.rtuTime);
    Hold(core, mark, held, end);
}

void ReceiveStream::DecodeFrom(TelemetryCore& core, IReplyPath& reply, std::size_t begin, std::size_t end, bool asAdu,
                               const char* rtuTime) {
    if (begin >= end) {
        ClearHeld();
        return;
    }
    const DecodeStop stop = core.DecodeBytes(bytes + begin, end - begin, reply, true, asAdu, rtuTime);
    Hold(core, stop, begin + stop.offset, end);
}

void ReceiveStream::Hold(TelemetryCore& core, const DecodeStop& stop, std::size_t from, std::size_t end) {
    const std::size_t size = end - from;
    if (stop.kind == CutKind::kNone || size == 0) {
        ClearHeld();
        return;
    }
    // Only a frame grows this long: an ADU is held only while it can be well-formed, so it stays
    // within kMaxAduBytes, and a mark is decided within a few bytes.
    if (size > kMaxHeldBytes) {
        core.DropUnfinished(stop.kind, size);
        ClearHeld();
        state = State::kSkip;
        return;
    }
    std::memmove(bytes, bytes + from, size);
    bytes[size] = 0;
    held = size;
    state = stop.kind == CutKind::kAdu ? State::kAdu : stop.kind == CutKind::kMark ? State::kMark : State::kFrame;
    std::memcpy(heldRtuTime, stop.rtuTime, sizeof heldRtuTime);
}

void ReceiveStream::HoldOn(TelemetryCore& core, std::size_t end) {
    DecodeStop same{state == State::kAdu ? CutKind::kAdu : state == State::kMark ? CutKind::kMark : CutKind::kFrame};
    std::memcpy(same.rtuTime, heldRtuTime, sizeof same.rtuTime);
    Hold(core, same, 0, end);
}

void ReceiveStream::Close(TelemetryCore& core) {
    // A held "$" that ended the frame before it is not unfinished by itself.
    const std::size_t unfinished = state == State::kMark ? held - 1 : held;
    if (unfinished > 0) core.DropUnfinished(state == State::kAdu ? CutKind::kAdu : CutKind::kFrame, unfinished);
    Reset();
}

void ReceiveStream::Reset() {
    ClearHeld();
    received = 0;
    bytes[0] = 0;
}

void ReceiveStream::ClearHeld() {
    held = 0;
    state = State::kEmpty;
    heldRtuTime[0] = '\0';
}
