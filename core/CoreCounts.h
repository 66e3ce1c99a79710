#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

class IReplyPath;
class RtuTable;

// What the decoder has seen since the process started, for monitoring. Every count only grows.
// Written by the workers with relaxed increments (no lock, no allocation); read from any thread,
// each count on its own, so two counts read together need not belong to the same moment.
struct CoreCounts {
    std::atomic<std::uint64_t> receivedBytes{0};
    // Frames and ADUs decoded, whether their function is known or not.
    std::atomic<std::uint64_t> rtuIoFrames{0};
    std::atomic<std::uint64_t> modbusAdus{0};
    // Frames with a function the decoder does not know, ADUs with an unknown function and bytes
    // that are no ADU at all.
    std::atomic<std::uint64_t> unknownFrames{0};
    // Frames or ADUs held from one receive for the next and then dropped unfinished.
    std::atomic<std::uint64_t> heldDrops{0};
    std::array<std::atomic<std::uint64_t>, 256> modbusFunctions{};  // ADUs served, by function code
};

extern CoreCounts coreCounts;

enum class ReportKind { kFrame, kAdu };

// One frame or ADU of `unitId` decoded from a chunk that came through `reply`: counts it and, when
// the unit is in the table, records the report beside its slot (RtuActivity). `known`: its
// function is one the decoder handles. Called by the decoder on a worker.
void CountReport(RtuTable& table, const IReplyPath& reply, ReportKind kind, std::int32_t unitId, bool known);
