#include "core/TelemetryCore.h"

#include "core/ChunkContext.h"
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
    ChunkContext ctx{*this, ChunkView(data, fill), reply, rawDataList.load(), statePage.load(), LocalTime()};
    const std::int32_t chunks = rxCount.fetch_add(1, std::memory_order_relaxed) + 1;
    if (ctx.list) {
        if (ctx.list->Count() > kMaxRawDataLines) ctx.list->Clear();
        ctx.Log("\r\n");
        ctx.Log(Format("Rx=%d,UnKnow=%d\r\n", chunks, unknowCount.load(std::memory_order_relaxed)));
        ctx.Log(HexDump(data, fill));
    }
    if (ctx.chunk.At(0) == '$') {
        RunFrameLoop(ctx, 0);
    } else {
        RunModbusLoop(ctx, 0);
    }
}
