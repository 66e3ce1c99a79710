#include "core/TelemetryCore.h"

#include <cstdio>
#include <cstring>

#include "core/ChunkContext.h"
#include "core/CoreCounts.h"
#include "core/FrameDecoder.h"
#include "core/ModbusService.h"
#include "core/TextFormat.h"

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
    LogChunk(data, fill);
    DecodeBytes(data, fill, reply, false);
}

void TelemetryCore::LogChunk(const std::uint8_t* data, std::size_t size) {
    const std::int32_t chunks = rxCount.fetch_add(1, std::memory_order_relaxed) + 1;
    coreCounts.receivedBytes.fetch_add(size, std::memory_order_relaxed);
    IRawDataList* list = rawDataList.load();
    if (!list) return;
    if (list->Count() > kMaxRawDataLines) list->Clear();
    list->AddLine("\r\n");
    list->AddLine(Format("Rx=%d,UnKnow=%d\r\n", chunks, unknowCount.load(std::memory_order_relaxed)).c_str());
    list->AddLine(HexDump(data, size).c_str());
}

DecodeStop TelemetryCore::DecodeBytes(const std::uint8_t* data, std::size_t size, IReplyPath& reply, bool stopAtCut,
                                      bool heldAdu, const char* rtuTime) {
    ChunkContext ctx{*this, ChunkView(data, size), reply, rawDataList.load(), statePage.load(), LocalTime()};
    ctx.stopAtCut = stopAtCut;
    ctx.modbusMode = modbusMode.load(std::memory_order_relaxed);
    std::snprintf(ctx.rtuTime, sizeof ctx.rtuTime, "%s", rtuTime);
    if (size == 0) return {};
    DecodeStop stop = heldAdu ? RunModbusLoop(ctx, 0) : RunChunkFrom(ctx, 0);
    std::memcpy(stop.rtuTime, ctx.rtuTime, sizeof stop.rtuTime);
    return stop;
}

void TelemetryCore::DropUnfinished(CutKind kind, std::size_t bytes) {
    unknowCount.fetch_add(1, std::memory_order_relaxed);
    coreCounts.heldDrops.fetch_add(1, std::memory_order_relaxed);
    if (IRawDataList* list = rawDataList.load()) {
        list->AddLine(Format("Drop unfinished %s: %zu bytes", kind == CutKind::kAdu ? "ADU" : "frame", bytes).c_str());
    }
}
