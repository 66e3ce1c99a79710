#include "core/TelemetryCore.h"

#include <cstdio>
#include <cstring>

#include "core/ChunkContext.h"
#include "core/CoreCounts.h"
#include "core/FrameDecoder.h"
#include "core/ModbusService.h"
#include "core/TextFormat.h"
#include "core/TraceLevel.h"

std::atomic<std::int32_t> rxCount{0};
std::atomic<std::int32_t> unknowCount{0};
std::atomic<int> echoServer{0};

namespace {
// The raw data page keeps at most this many lines before a chunk starts a fresh list.
constexpr int kMaxRawDataLines = 1000;
}  // namespace

std::tm TelemetryCore::LocalTime() const {
    if (clock) return clock();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void TelemetryCore::DecodeChunk(const std::uint8_t* data, std::uint32_t fill, IReplyPath& reply) {
    LogChunk(data, fill, false);
    DecodeBytes(data, fill, reply, false);
}

void TelemetryCore::LogChunk(const std::uint8_t* data, std::size_t size, bool heldFrameText) {
    const std::int32_t chunks = rxCount.fetch_add(1, std::memory_order_relaxed) + 1;
    coreCounts.receivedBytes.fetch_add(size, std::memory_order_relaxed);
    IRawDataList* list = rawDataList.load();
    const TraceLevel level = traceLevel.load(std::memory_order_relaxed);
    if (!list || level == TraceLevel::kNone) return;
    // A receive of frame text goes on a frame held, or has a frame's "$" in it.
    if (level == TraceLevel::kFrames && !heldFrameText && std::memchr(data, '$', size) == nullptr) return;
    if (list->Count() > kMaxRawDataLines) list->Clear();
    list->AddLine("\r\n");
    list->AddLine(Format("Rx=%d,UnKnow=%d\r\n", chunks, unknowCount.load(std::memory_order_relaxed)).c_str());
    list->AddLine(HexDump(data, size).c_str());
}

DecodeStop TelemetryCore::DecodeBytes(const std::uint8_t* data, std::size_t size, IReplyPath& reply, bool stopAtCut,
                                      bool heldAdu, const char* rtuTime) {
    IRawDataList* list = rawDataList.load();
    const TraceLevel level = traceLevel.load(std::memory_order_relaxed);
    ChunkContext ctx{*this,
                     ChunkView(data, size),
                     reply,
                     level == TraceLevel::kNone ? nullptr : list,
                     statePage.load(),
                     list != nullptr,
                     LocalTime()};
    ctx.stopAtCut = stopAtCut;
    ctx.modbusMode = modbusMode.load(std::memory_order_relaxed);
    ctx.traceModbus = level == TraceLevel::kAll;
    ctx.modbusList = ctx.traceModbus ? list : nullptr;
    std::snprintf(ctx.rtuTime, sizeof ctx.rtuTime, "%s", rtuTime);
    if (size == 0) return {};
    DecodeStop stop = heldAdu ? RunModbusLoop(ctx, 0) : RunChunkFrom(ctx, 0);
    std::memcpy(stop.rtuTime, ctx.rtuTime, sizeof stop.rtuTime);
    return stop;
}

void TelemetryCore::DropUnfinished(CutKind kind, std::size_t bytes) {
    unknowCount.fetch_add(1, std::memory_order_relaxed);
    coreCounts.heldDrops.fetch_add(1, std::memory_order_relaxed);
    const TraceLevel level = traceLevel.load(std::memory_order_relaxed);
    const bool logged = level == TraceLevel::kAll || (level == TraceLevel::kFrames && kind == CutKind::kFrame);
    IRawDataList* list = rawDataList.load();
    if (list && logged) {
        list->AddLine(Format("Drop unfinished %s: %zu bytes", kind == CutKind::kAdu ? "ADU" : "frame", bytes).c_str());
    }
}
