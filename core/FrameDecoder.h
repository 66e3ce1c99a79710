#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ChunkContext.h"
#include "core/ChunkView.h"
#include "core/DecodeStop.h"
#include "core/MessageStart.h"

// RTU I/O frame header. Positions count from the frame's "$":
//   1..8 unit id, 9..10 not read, 11..12 function code, 13..26 timestamp, 27..28 channel, 29.. payload.
inline constexpr std::size_t kPayloadStart = 29;

struct FrameHeader {
    std::int32_t unitId = 0;  // the unit-id characters read as a decimal integer, low 16 bits
    char unitText[9] = {};    // the unit-id characters as received
    std::uint8_t fn = 0;
    char timestamp[15] = {};    // a zero byte inside ends it early
    std::uint16_t channel = 0;  // for list functions the number of items
};

FrameHeader DecodeFrameHeader(const ChunkView& frame);

// Decodes the chunk from position start as the start of a chunk: frames and ADUs, as the bytes
// there begin one or the other.
DecodeStop RunChunkFrom(ChunkContext& ctx, std::size_t start);

// Decodes the messages of the chunk from position at on, frames and ADUs in whatever order they
// come, each next message found by the rule of core/MessageStart.h; `adu` tells what the message
// at `at` is. With ctx.stopAtCut, stops in front of a frame or ADU that runs past the end of the
// chunk, or at a "$" whose role the next receive must tell, and says so.
DecodeStop DecodeMessages(ChunkContext& ctx, std::size_t at, bool adu);
// DecodeMessages from a frame at position start.
DecodeStop RunFrameLoop(ChunkContext& ctx, std::size_t start);

// The position at or after `at` where the next message begins, past any late end marks, and its kind.
std::size_t NextMessage(const ChunkContext& ctx, std::size_t at, MessageKind& kind);

// How a run of messages of one kind ended: the chunk is done (stop), or a message of the other
// kind begins at next.
struct RunEnd {
    static constexpr std::size_t kDone = static_cast<std::size_t>(-1);
    DecodeStop stop;
    std::size_t next = kDone;

    static RunEnd Stop(const DecodeStop& stop) { return RunEnd{stop, kDone}; }
    static RunEnd Then(std::size_t next) { return RunEnd{DecodeStop{}, next}; }
};
// The frames from position start on, until an ADU begins or the chunk is done.
RunEnd DecodeFrameRun(ChunkContext& ctx, std::size_t start);

// Runs the frame's function on its payload; returns the frame position after what it consumed,
// where the scan for the end mark starts.
std::size_t RunFrameFunction(ChunkContext& ctx, const FrameHeader& header, const ChunkView& frame);

// The position RunFrameFunction would return, without applying, logging, sending or counting anything.
std::size_t MeasureFrameFunction(ChunkContext& ctx, const FrameHeader& header, const ChunkView& frame);
