#include "core/ReceiveStream.h"

#include <algorithm>
#include <cstring>

#include "core/ChunkView.h"
#include "core/ModbusService.h"

namespace {

constexpr std::uint8_t kMark = '$';
// The protocol id (bytes 2..3) of an ADU is known from here on.
constexpr std::size_t kProtocolIdKnown = 4;

}  // namespace

// What a "$" right after a held frame is, by the bytes after it: the next frame's start mark
// ("$$": so the first is the held frame's end mark), the start of an ADU (a protocol id of zeros
// and a served function: the "$" is the end mark), or anything else (a start mark).
ReceiveStream::Mark ReceiveStream::MarkMeaning(const ChunkView& after) {
    if (after.Size() >= 1 && after.At(0) == kMark) return Mark::kEndMark;
    if (InspectAdu(after).shape == AduShape::kNotAdu) return Mark::kStartMark;
    return after.Size() >= kProtocolIdKnown ? Mark::kEndMark : Mark::kUndecided;
}

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
    if (held == 0) {
        begin = SkipDropped(begin, end);
    } else {
        const Joined joined = JoinHeld(core, reply, end, rtuTime);
        if (joined.stillCut) {
            DecodeStop stillCut{CutKind::kFrame};
            std::memcpy(stillCut.rtuTime, heldRtuTime, sizeof stillCut.rtuTime);
            const bool markUsed = heldMarkUsed;
            Hold(core, stillCut, joined.begin, end);
            heldMarkUsed = held > 0 && markUsed;
            return;
        }
        begin = joined.begin;
    }
    if (begin >= end) {
        ClearHeld();
        return;
    }
    const bool heldAdu = begin == 0 && heldKind == CutKind::kAdu;
    const DecodeStop stop = core.DecodeBytes(bytes + begin, end - begin, reply, true, heldAdu, rtuTime);
    Hold(core, stop, begin + stop.offset, end);
}

// How the held bytes meet the receive behind them (bytes up to end): where decoding starts, or
// from where everything is held on.
ReceiveStream::Joined ReceiveStream::JoinHeld(TelemetryCore& core, IReplyPath& reply, std::size_t end,
                                              char (&rtuTime)[15]) {
    if (heldKind == CutKind::kAdu) {
        if (InspectAdu(ChunkView(bytes, end)).shape == AduShape::kNotAdu) {
            core.DropUnfinished(CutKind::kAdu, held);
            return {held, false};
        }
        std::memcpy(rtuTime, heldRtuTime, sizeof rtuTime);
        return {0, false};
    }
    if (heldMarkUsed) {
        // The held "$" ended the frame before it; does it start one too?
        switch (MarkMeaning(ChunkView(bytes + 1, end - 1))) {
            case Mark::kEndMark:
                std::memcpy(rtuTime, heldRtuTime, sizeof rtuTime);  // of the frame it ended
                return {1, false};
            case Mark::kStartMark:
                return {0, false};
            case Mark::kUndecided:
                heldMarkUsed = true;
                return {0, true};
        }
    }
    if (bytes[held] == kMark) {
        switch (MarkMeaning(ChunkView(bytes + held + 1, end - held - 1))) {
            case Mark::kEndMark:
                return {0, false};
            case Mark::kStartMark:
                // An unterminated frame followed by a new one: decoded on its own, as it always was.
                core.DecodeBytes(bytes, held, reply, false);
                return {held, false};
            case Mark::kUndecided:
                // Either way the held frame is whole now: decoded with the "$" as its end mark, which
                // stays held until what follows it tells whether it starts a frame as well.
                std::memcpy(heldRtuTime, core.DecodeBytes(bytes, held + 1, reply, false).rtuTime, sizeof heldRtuTime);
                heldMarkUsed = true;
                return {held, true};
        }
    }
    // A frame ends with a "$": without one in the receive it is still cut, no need to decode it again.
    const bool markArrived = std::memchr(bytes + held, kMark, end - held) != nullptr;
    return {0, !markArrived};
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
        if (stop.kind == CutKind::kFrame)
            skipToEndMark = true;
        else
            skipBytes = stop.extent - size;
        return;
    }
    std::memmove(bytes, bytes + from, size);
    bytes[size] = 0;
    held = size;
    heldKind = stop.kind;
    heldExtent = stop.extent;
    heldMarkUsed = false;
    std::memcpy(heldRtuTime, stop.rtuTime, sizeof heldRtuTime);
}

void ReceiveStream::Close(TelemetryCore& core) {
    // A held "$" that ended the frame before it is not unfinished by itself.
    const std::size_t unfinished = heldMarkUsed ? held - 1 : held;
    if (unfinished > 0) core.DropUnfinished(heldKind, unfinished);
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
    heldMarkUsed = false;
}
