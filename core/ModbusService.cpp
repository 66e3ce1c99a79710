#include "core/ModbusService.h"

#include <cstdio>

#include "core/CoreCounts.h"
#include "core/FrameDecoder.h"
#include "core/TextFormat.h"

namespace {

std::size_t FixedSize12(const ChunkView&) { return 12; }
std::size_t FixedSize14(const ChunkView&) { return 14; }
std::size_t SizeByByteCount(const ChunkView& adu) { return 13 + adu.At(12); }
std::size_t SizeByTimestampedItems(const ChunkView& adu) { return 18 + 5 * std::size_t{adu.BigEndian16(10)}; }

// The function code is byte 7, the byte count byte 12, the item count of 0x23 bytes 10..11.
constexpr std::size_t kFunctionKnown = 8;
constexpr std::size_t kByteCountKnown = 13;
constexpr std::size_t kItemCountKnown = 12;
// Before the items: the byte count ends at 13, the six timestamp bytes of 0x23 at 18.
constexpr std::size_t kByteCountHeader = 13;
constexpr std::size_t kTimestampedHeader = 18;
// The length field counts the bytes from the unit id on; the shortest served ADU is 12 bytes.
constexpr std::size_t kShortestLength = 12 - kAduUnitPos;
// The shortest PDU any function has: its function code alone, after the unit id.
constexpr std::size_t kShortestPdu = 2;

constexpr ModbusFunction kFunctions[] = {
    {0x01, &FixedSize12, &ReadBits, kFunctionKnown, 12, false},
    {0x03, &FixedSize12, &ReadRegisters, kFunctionKnown, 12, false},
    {0x04, &FixedSize12, &ReadRegisters, kFunctionKnown, 12, false},
    {0x05, &FixedSize12, &WriteCoil, kFunctionKnown, 12, false},
    {0x06, &FixedSize12, &WriteRegister, kFunctionKnown, 12, false},
    {0x0F, &SizeByByteCount, &WriteCoils, kByteCountKnown, kByteCountHeader, false},
    {0x10, &SizeByByteCount, &WriteRegisters, kByteCountKnown, kByteCountHeader, false},
    {0x23, &SizeByTimestampedItems, &WriteTimestamped, kItemCountKnown, kTimestampedHeader, true},
    {0x80, &SizeByByteCount, &WriteLongRegisters, kByteCountKnown, kByteCountHeader, true},
    {0x86, &FixedSize14, &WriteLongRegister, kFunctionKnown, 14, true},
};

void LogRequest(const Adu& adu) {
    if (!adu.ctx.modbusList) return;
    const std::uint16_t length = adu.view.BigEndian16(kAduLengthPos);
    adu.ctx.LogModbus(Format("Recv Mod TCP: Tid=%x, Pid=%x, Length=%d, UnitId=%d, Fn=%x, DataLen=%d\n",
                             adu.header.transactionId, 0, length, adu.header.unitId, adu.header.functionCode,
                             static_cast<std::uint8_t>(length - 4)));
}

// Serves one whole, well-formed ADU of `size` bytes; its handlers see only its own bytes.
void ServeAdu(ChunkContext& ctx, std::size_t offset, std::size_t size) {
    const ChunkView view(ctx.chunk.Data() + offset, size);
    const ModbusReplyHeader header{view.BigEndian16(0), 0, view.At(kAduUnitPos), view.At(kAduFunctionPos)};
    const Adu adu{ctx, view, header, view.BigEndian16(kAduStartPos), ctx.core.Table().FindRtu(header.unitId)};
    LogRequest(adu);
    const ModbusFunction& function = *FindModbusFunction(header.functionCode);
    if (function.report) {
        CountReport(ctx.core.Table(), ctx.reply, ReportKind::kAdu, header.unitId, true);
    } else {
        CountDecoded(ReportKind::kAdu, true);
    }
    CountModbusRequest(header.functionCode, function.run(adu));
}

void LogHeader(ChunkContext& ctx, const ChunkView& view) {
    const ModbusReplyHeader header{view.BigEndian16(0), 0, view.At(kAduUnitPos), view.At(kAduFunctionPos)};
    LogRequest(Adu{ctx, view, header, view.BigEndian16(kAduStartPos), nullptr});
}

// A protocol id other than 0, or a function not served: counted, and logged unless foreign.
// `answer`: its bytes were all there, so that standard mode tells the master it is not served.
void CountUnserved(ChunkContext& ctx, const ChunkView& view, bool answer) {
    unknowCount.fetch_add(1, std::memory_order_relaxed);
    if (view.BigEndian16(kAduProtocolPos) != 0) {
        coreCounts.unknownFrames.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    LogHeader(ctx, view);
    CountDecoded(ReportKind::kAdu, false);
    if (ctx.traceModbus) std::fputs("Meet unknow data!\n", stdout);
    const ModbusReplyHeader header{view.BigEndian16(0), 0, view.At(kAduUnitPos), view.At(kAduFunctionPos)};
    if (answer && ctx.modbusMode == ModbusMode::kStandard) {
        SendModbusException(ctx, header, kIllegalFunction);
        CountModbusRequest(header.functionCode, ModbusResult::kException);
    } else {
        CountModbusRequest(header.functionCode, ModbusResult::kNoReply);
    }
}

bool IsServed(const ChunkView& view) {
    return view.BigEndian16(kAduProtocolPos) == 0 && FindModbusFunction(view.At(kAduFunctionPos)) != nullptr;
}

// The rest of the chunk is dropped behind an ADU that cannot be skipped.
void DropRest(ChunkContext& ctx, std::size_t offset) {
    const ChunkView view = ctx.chunk.From(offset);
    CountUnserved(ctx, view, false);
    if (ctx.traceModbus && view.BigEndian16(kAduProtocolPos) == 0)
        std::printf("offset = %zu, Packsize=%zu\n", ctx.chunk.Size(), ctx.chunk.Size());
}

// The length field's ADU, when it can be one: at least a unit id and a function code, and within
// Modbus/TCP's largest ADU, as the reassembly judges lengths.
std::size_t LengthFieldExtent(const ChunkView& view) {
    const std::size_t length = view.BigEndian16(kAduLengthPos);
    return length >= kShortestPdu && kAduUnitPos + length <= kMaxAduBytes ? kAduUnitPos + length : 0;
}

}  // namespace

const ModbusFunction* FindModbusFunction(std::uint8_t code) {
    for (const ModbusFunction& function : kFunctions) {
        if (function.code == code) return &function;
    }
    return nullptr;
}

Verdict PlausibleAdu(const ChunkView& view) {
    const std::size_t n = view.Size();
    for (std::size_t i = kAduProtocolPos; i < kAduProtocolPos + 2 && i < n; ++i) {
        if (view.At(i) != 0) return Verdict::kNo;
    }
    // No length up to kMaxAduBytes has a high byte, and none is shorter than the shortest ADU's.
    if (n > kAduLengthPos && view.At(kAduLengthPos) != 0) return Verdict::kNo;
    if (n > kAduLengthPos + 1 && view.At(kAduLengthPos + 1) < kShortestLength) return Verdict::kNo;
    if (n < kFunctionKnown) return Verdict::kNotYet;
    const ModbusFunction* function = FindModbusFunction(view.At(kAduFunctionPos));
    if (!function) return Verdict::kNo;
    if (n < function->sizeKnownFrom) return Verdict::kNotYet;
    const std::size_t extent = function->size(view);
    const bool agrees = extent <= kMaxAduBytes && view.BigEndian16(kAduLengthPos) == extent - kAduUnitPos;
    return agrees ? Verdict::kYes : Verdict::kNo;
}

// A served function's ADU is executed only when its length field agrees with its function and
// data; one that never can is dropped with its header alone. A protocol id other than 0 or a
// function not served is skipped by its length field when that is plausible. A cut one is held
// only while it can still become one of these, so that no ADU ever takes its data or its echo from
// the bytes of a later frame or ADU.
AduInspection InspectAdu(const ChunkView& view) {
    const std::size_t n = view.Size();
    bool foreign = false;
    for (std::size_t i = kAduProtocolPos; i < kAduProtocolPos + 2 && i < n; ++i) foreign = foreign || view.At(i) != 0;
    const ModbusFunction* function =
        !foreign && n >= kFunctionKnown ? FindModbusFunction(view.At(kAduFunctionPos)) : nullptr;
    if (!function && (foreign || n >= kFunctionKnown)) {
        if (n < kAduUnitPos) return {AduShape::kCut, 0};
        const std::size_t extent = LengthFieldExtent(view);
        if (extent == 0) return {AduShape::kNotAdu, 0};
        if (extent > n) return {AduShape::kCut, 0};
        return {AduShape::kUnserved, extent};
    }
    const Verdict wellFormed = PlausibleAdu(view);
    if (wellFormed == Verdict::kYes) {
        const std::size_t extent = function->size(view);
        return extent <= n ? AduInspection{AduShape::kWhole, extent} : AduInspection{AduShape::kCut, 0};
    }
    // A malformed ADU is dropped with all of its header, so that none of it is read as a message:
    // until the header is complete it is held like a cut one.
    if (wellFormed == Verdict::kNotYet || !function || n < function->header) return {AduShape::kCut, 0};
    return {AduShape::kMalformed, function->header};
}

RunEnd ServeAduRun(ChunkContext& ctx, std::size_t offset) {
    const std::size_t fill = ctx.chunk.Size();
    for (bool first = true; offset < fill; first = false) {
        // After an ADU any message may follow; the first one is an ADU by the caller's reading.
        if (!first) {
            MessageKind kind;
            offset = NextMessage(ctx, offset, kind);
            if (offset >= fill) break;
            if (kind != MessageKind::kAdu) return RunEnd::Then(offset);
        }
        const AduInspection adu = InspectAdu(ctx.chunk.From(offset));
        switch (adu.shape) {
            case AduShape::kCut:
                if (ctx.stopAtCut) return RunEnd::Stop(DecodeStop{CutKind::kAdu, offset});
                // Decoded whole, the chunk is all there is: what its end cuts is never served.
                if (ctx.modbusList) ctx.LogModbus(Format("Decode ModTcp: %zu %zu", offset, fill));
                if (IsServed(ctx.chunk.From(offset))) {
                    LogHeader(ctx, ctx.chunk.From(offset));
                } else {
                    DropRest(ctx, offset);
                }
                return RunEnd::Stop({});
            case AduShape::kNotAdu:
                if (ctx.modbusList) ctx.LogModbus(Format("Decode ModTcp: %zu %zu", offset, fill));
                DropRest(ctx, offset);
                return RunEnd::Stop({});
            case AduShape::kMalformed:
                // What follows is decoded as if a receive began there.
                ctx.core.DropUnfinished(CutKind::kAdu, adu.size);
                CountModbusRequest(ctx.chunk.At(offset + kAduFunctionPos), ModbusResult::kNoReply);
                ctx.rtuTime[0] = '\0';
                offset += adu.size;
                continue;
            case AduShape::kUnserved:
            case AduShape::kWhole:
                break;
        }
        if (ctx.modbusList) ctx.LogModbus(Format("Decode ModTcp: %zu %zu", offset, fill));
        if (adu.shape == AduShape::kWhole) {
            ServeAdu(ctx, offset, adu.size);
        } else {
            CountUnserved(ctx, ChunkView(ctx.chunk.Data() + offset, adu.size), true);
        }
        offset += adu.size;
        if (ctx.traceModbus) std::printf("offset = %zu, Packsize=%zu\n", offset, fill);
    }
    return RunEnd::Stop({});
}

DecodeStop RunModbusLoop(ChunkContext& ctx, std::size_t offset) { return DecodeMessages(ctx, offset, true); }
