#include "core/FrameDecoder.h"

#include <algorithm>
#include <cstring>

#include "core/MessageStart.h"
#include "core/ModbusService.h"
#include "core/ParseDecimal.h"
#include "core/TextFormat.h"

namespace {

constexpr std::size_t kUnitIdPos = 1;
constexpr std::size_t kUnitIdChars = 8;
constexpr std::size_t kFunctionPos = 11;
constexpr std::size_t kTimestampPos = 13;
constexpr std::size_t kTimestampChars = 14;
constexpr std::size_t kChannelPos = 27;
constexpr std::uint8_t kMark = '$';

template <std::size_t N>
void CopyChars(const ChunkView& frame, std::size_t pos, char (&out)[N]) {
    for (std::size_t i = 0; i + 1 < N; ++i) out[i] = static_cast<char>(frame.At(pos + i));
    out[N - 1] = '\0';
}

// The echo, like the line, belongs to a program with a raw-data list; the trace level drops only the lines.
void LogAndEcho(ChunkContext& ctx, const FrameHeader& header, std::size_t parseEnd) {
    if (!ctx.listPresent) return;
    if (ctx.list) {
        ctx.Log(Format("VUDOV: UID%d, FN=%2.2X, CHANNEL=%d, TIMESTAMP=%s", header.unitId, header.fn, header.channel,
                       header.timestamp));
    }
    if (echoServer.load(std::memory_order_relaxed) == 0) return;
    // Every echo starts at the chunk's first byte; a number read past the end stops it at the end.
    ctx.reply.Send(ctx.chunk.Data(), std::min(parseEnd, ctx.chunk.Size()));
    ctx.Log("VUDOV: Echo Tcp");
}

// A "$" after a frame's payload ends it, unless it begins the next frame or an ADU (the frame then
// had no end mark). When the bytes after it cannot tell yet, a chunk decoded whole takes it as the
// end mark, as does a receive that ends right after it, since that is where frames end; in between,
// the "$" is left for the bytes of the next receive to decide.
MarkRole RoleAfterFrame(const ChunkContext& ctx, std::size_t mark) {
    const MarkRole role = RoleOfMark(ctx.chunk.From(mark));
    if (role != MarkRole::kUndecided) return role;
    return ctx.stopAtCut && mark + 1 < ctx.chunk.Size() ? MarkRole::kUndecided : MarkRole::kEndMark;
}

}  // namespace

FrameHeader DecodeFrameHeader(const ChunkView& frame) {
    FrameHeader header;
    CopyChars(frame, kUnitIdPos, header.unitText);
    static_assert(sizeof header.unitText == kUnitIdChars + 1);
    header.unitId = ReadLeadingInt(header.unitText) & 0xffff;
    // Two characters make the function code: the low four bits of the first are its high nibble
    // ('1' is 0x31, so "10" gives 0x10), and the second's digit value is ORed in as the low nibble.
    // Past '9' the second carries into the high nibble ("1A" gives 0x11), as the RTUs compute it.
    const unsigned first = frame.At(kFunctionPos);
    header.fn = static_cast<std::uint8_t>((static_cast<int>(first << 4) | frame.Digit(kFunctionPos + 1)) & 0xff);
    CopyChars(frame, kTimestampPos, header.timestamp);
    static_assert(sizeof header.timestamp == kTimestampChars + 1);
    header.channel = static_cast<std::uint16_t>(frame.TwoDigits(kChannelPos));
    return header;
}

std::size_t NextMessage(const ChunkContext& ctx, std::size_t at, MessageKind& kind) {
    for (;; ++at) {
        kind = MessageAt(ctx.chunk.From(at));
        if (kind != MessageKind::kEndMark) return at;
    }
}

DecodeStop RunChunkFrom(ChunkContext& ctx, std::size_t start) {
    MessageKind kind;
    const std::size_t at = NextMessage(ctx, start, kind);
    return DecodeMessages(ctx, at, kind == MessageKind::kAdu);
}

DecodeStop RunFrameLoop(ChunkContext& ctx, std::size_t start) { return DecodeMessages(ctx, start, false); }

DecodeStop DecodeMessages(ChunkContext& ctx, std::size_t at, bool adu) {
    for (;; adu = !adu) {
        const RunEnd end = adu ? ServeAduRun(ctx, at) : DecodeFrameRun(ctx, at);
        if (end.next == RunEnd::kDone) return end.stop;
        at = end.next;
    }
}

RunEnd DecodeFrameRun(ChunkContext& ctx, std::size_t start) {
    for (std::size_t f = start;;) {
        const ChunkView frame = ctx.chunk.From(f);
        const FrameHeader header = DecodeFrameHeader(frame);
        // A frame is whole once a "$" follows what its function reads; the measuring pass finds
        // that position without touching anything.
        if (ctx.stopAtCut && ctx.chunk.Find(kMark, f + MeasureFrameFunction(ctx, header, frame)) == ChunkView::npos) {
            return RunEnd::Stop(DecodeStop{CutKind::kFrame, f});
        }
        if (ctx.list) ctx.Log(std::string(ctx.chunk.TextFrom(f)));
        std::memcpy(ctx.rtuTime, header.timestamp, sizeof ctx.rtuTime);
        const std::size_t parseEnd = f + RunFrameFunction(ctx, header, frame);
        LogAndEcho(ctx, header, parseEnd);

        const std::size_t mark = ctx.chunk.Find(kMark, parseEnd);
        if (mark == ChunkView::npos) return RunEnd::Stop({});
        switch (RoleAfterFrame(ctx, mark)) {
            case MarkRole::kStartsFrame:
                f = mark;
                continue;
            case MarkRole::kStartsAdu:
                return RunEnd::Then(mark);
            case MarkRole::kUndecided:
                return RunEnd::Stop(DecodeStop{CutKind::kMark, mark});
            case MarkRole::kEndMark:
                break;
        }
        // "$$": one frame's end mark directly before the next frame's start mark.
        MessageKind kind;
        f = NextMessage(ctx, mark + 1, kind);
        if (kind == MessageKind::kAdu) return RunEnd::Then(f);
    }
}
