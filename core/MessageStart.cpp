#include "core/MessageStart.h"

#include "core/ModbusService.h"

namespace {

constexpr std::uint8_t kMark = '$';
constexpr std::size_t kUnitIdChars = 8;

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

MessageKind MessageAt(const ChunkView& bytes) {
    if (bytes.At(0) != kMark) return MessageKind::kAdu;
    const Verdict asFrame = FrameHeaderAt(bytes);
    if (asFrame == Verdict::kYes) return MessageKind::kFrame;
    if (asFrame == Verdict::kNotYet && bytes.Size() <= kAduProtocolPos + 1) return MessageKind::kNotYet;
    const bool zeros = bytes.At(kAduProtocolPos) == 0 && bytes.At(kAduProtocolPos + 1) == 0;
    const Verdict asAdu = zeros ? PlausibleAdu(bytes) : Verdict::kNo;
    if (asAdu == Verdict::kYes) return MessageKind::kAdu;
    const Verdict after = PlausibleAdu(bytes.From(1));
    const Verdict frameAfter = FrameHeaderAt(bytes.From(1));
    if (after == Verdict::kYes || frameAfter == Verdict::kYes) return MessageKind::kEndMark;
    if (asAdu == Verdict::kNotYet || after == Verdict::kNotYet || asFrame == Verdict::kNotYet ||
        frameAfter == Verdict::kNotYet) {
        return MessageKind::kNotYet;
    }
    // Not well-formed either way: with zeros the ADU loop drops or skips it as an ADU.
    return zeros ? MessageKind::kAdu : MessageKind::kFrame;
}

Verdict FrameHeaderAt(const ChunkView& bytes) {
    if (bytes.At(0) != kMark) return Verdict::kNo;
    for (std::size_t i = 1; i <= kUnitIdChars; ++i) {
        if (i >= bytes.Size()) return Verdict::kNotYet;
        if (!IsDigit(bytes.At(i))) return Verdict::kNo;
    }
    return Verdict::kYes;
}

// A "$" that can start neither a frame nor an ADU is an end mark, whatever follows it. One that
// still may is an end mark as soon as what follows it begins a message by itself: the next frame's
// "$", or a well-formed ADU. (A well-formed ADU at the "$" and one right after it exclude each
// other: the first has the low byte of its length where the second has the high byte of its own,
// which is zero in every well-formed ADU, while a length of zero is not well-formed.)
MarkRole RoleOfMark(const ChunkView& bytes) {
    const Verdict asAdu = PlausibleAdu(bytes);
    if (asAdu == Verdict::kYes) return MarkRole::kStartsAdu;
    const Verdict asFrame = FrameHeaderAt(bytes);
    if (asFrame == Verdict::kYes) return MarkRole::kStartsFrame;
    if (asAdu == Verdict::kNo && asFrame == Verdict::kNo) return MarkRole::kEndMark;
    const ChunkView after = bytes.From(1);
    if (after.Size() > 0 && (after.At(0) == kMark || PlausibleAdu(after) == Verdict::kYes)) return MarkRole::kEndMark;
    return MarkRole::kUndecided;
}
