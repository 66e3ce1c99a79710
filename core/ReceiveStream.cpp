#include "core/ReceiveStream.h"

#include <algorithm>
#include <cstring>

#include "core/ChunkView.h"
#include "core/ModbusService.h"

namespace {

constexpr std::uint8_t kMark = '$';
// The protocol id (bytes 2..3) is known from here on.
constexpr std::size_t kProtocolIdKnown = 4;

// Bytes that begin like an ADU rather than like the rest of a frame after its start mark, whose
// unit-id characters are never two zero bytes.
bool ReadsAsAdu(const ChunkView& view) {
    return view.Size() >= kProtocolIdKnown && InspectAdu(view).shape != AduShape::kNotAdu;
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
    core.LogChunk(bytes + held, end - held);
    char rtuTime[15] = {};
    std::size_t begin = held;
    bool frameDecodedAlone = false;
    if (held == 0) {
        begin = SkipDropped(begin, end);
    } else {
        const CutKind kind = heldKind;
        switch (JoinHeld(core, reply, end - held, rtuTime)) {
            case Join::kJoined: begin = 0; break;
            case Join::kDecodedAlone: frameDecodedAlone = kind == CutKind::kFrame; break;
            case Join::kDropped: break;
            case Join::kStillCut:
                heldMayBeEndMark = false;
                Hold(core, DecodeStop{CutKind::kFrame}, 0, end);
                return;
        }
    }
    if (begin >= end) {
        ClearHeld();
        return;
    }
    const bool loneMark = frameDecodedAlone && end - begin == 1;
    const bool heldAdu = begin == 0 && heldKind == CutKind::kAdu;
    const DecodeStop stop = core.DecodeBytes(bytes + begin, end - begin, reply, true, heldAdu, rtuTime);
    Hold(core, stop, begin + stop.offset, end);
    heldMayBeEndMark = loneMark && heldKind == CutKind::kFrame;
}

// Decides how the held bytes meet the n received bytes behind them.
ReceiveStream::Join ReceiveStream::JoinHeld(TelemetryCore& core, IReplyPath& reply, std::size_t n,
                                            char (&rtuTime)[15]) {
    const std::uint8_t* in = bytes + held;
    if (heldKind == CutKind::kAdu) {
        if (InspectAdu(ChunkView(bytes, held + n)).shape == AduShape::kNotAdu) {
            core.DropUnfinished(CutKind::kAdu, held);
            return Join::kDropped;
        }
        std::memcpy(rtuTime, heldRtuTime, sizeof rtuTime);
        return Join::kJoined;
    }
    if (heldMayBeEndMark && (in[0] == kMark || ReadsAsAdu(ChunkView(in, n)))) {
        return Join::kDropped;  // it was the end mark of the frame before
    }
    if (in[0] == kMark && (n < 2 || in[1] != kMark)) {
        core.DecodeBytes(bytes, held, reply, false);
        return Join::kDecodedAlone;
    }
    // A frame ends with a "$": without one in the receive it is still cut, no need to decode it again.
    return std::memchr(in, kMark, n) ? Join::kJoined : Join::kStillCut;
}

std::size_t ReceiveStream::SkipDropped(std::size_t begin, std::size_t end) {
    if (skipBytes > 0) {
        const std::size_t skipped = std::min(skipBytes, end - begin);
        skipBytes -= skipped;
        return begin + skipped;
    }
    if (!skipToEndMark) return begin;
    const void* mark = std::memchr(bytes + begin, kMark, end - begin);
    if (!mark) return end;
    skipToEndMark = false;
    return static_cast<std::size_t>(static_cast<const std::uint8_t*>(mark) - bytes) + 1;
}

void ReceiveStream::Hold(TelemetryCore& core, const DecodeStop& stop, std::size_t from, std::size_t end) {
    const std::size_t size = end - from;
    if (stop.kind == CutKind::kNone || size == 0) {
        ClearHeld();
        return;
    }
    if (stop.extent > kMaxHeldBytes || size > kMaxHeldBytes) {
        core.DropUnfinished(stop.kind, size);
        ClearHeld();
        if (stop.kind == CutKind::kFrame) skipToEndMark = true;
        else skipBytes = stop.extent - size;
        return;
    }
    std::memmove(bytes, bytes + from, size);
    bytes[size] = 0;
    held = size;
    heldKind = stop.kind;
    heldExtent = stop.extent;
    std::memcpy(heldRtuTime, stop.rtuTime, sizeof heldRtuTime);
}

void ReceiveStream::Close(TelemetryCore& core) {
    if (held > 0 && !heldMayBeEndMark) core.DropUnfinished(heldKind, held);
    Reset();
}

void ReceiveStream::Reset() {
    ClearHeld();
    received = 0;
    skipToEndMark = false;
    skipBytes = 0;
    bytes[0] = 0;
}

void ReceiveStream::ClearHeld() {
    held = 0;
    heldKind = CutKind::kNone;
    heldExtent = 0;
    heldRtuTime[0] = '\0';
    heldMayBeEndMark = false;
}
