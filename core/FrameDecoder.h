#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ChunkContext.h"
#include "core/ChunkView.h"
#include "core/DecodeStop.h"

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

// Decodes the chunk from position start as the start of a chunk: the frame loop or the ADU loop,
// as the bytes there begin a frame or an ADU.
DecodeStop RunChunkFrom(ChunkContext& ctx, std::size_t start);

// Decodes the frames starting at position start, one after another, and hands Modbus/TCP data that
// follows the last frame's end mark to the ADU loop. With ctx.stopAtCut, stops in front of a frame
// whose end mark is not in the chunk, or at a "$" whose role the next receive must tell, and says so.
DecodeStop RunFrameLoop(ChunkContext& ctx, std::size_t start);

// Runs the frame's function on its payload; returns the frame position after what it consumed,
// where the scan for the end mark starts.
std::size_t RunFrameFunction(ChunkContext& ctx, const FrameHeader& header, const ChunkView& frame);

// The position RunFrameFunction would return, without applying, logging, sending or counting anything.
std::size_t MeasureFrameFunction(ChunkContext& ctx, const FrameHeader& header, const ChunkView& frame);
