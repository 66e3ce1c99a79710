#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

class IReplyPath;
class RtuTable;

// How a Modbus/TCP request was answered: with its reply or acknowledgement, with an exception
// response, or not at all.
enum class ModbusResult : std::uint8_t { kOk, kException, kNoReply };
inline constexpr std::size_t kModbusResults = 3;
// The function codes served, counted one by one; every other code counts as one more.
inline constexpr std::uint8_t kCountedModbusFunctions[] = {0x01, 0x03, 0x04, 0x05, 0x06, 0x0F, 0x10, 0x23, 0x80, 0x86};
inline constexpr std::size_t kModbusFunctionSlots = std::size(kCountedModbusFunctions) + 1;
// The counts' index of a function code; the last for a code not served.
std::size_t ModbusFunctionSlot(std::uint8_t functionCode);

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
    // Modbus/TCP requests, by function (ModbusFunctionSlot) and how they were answered.
    std::array<std::array<std::atomic<std::uint64_t>, kModbusResults>, kModbusFunctionSlots> modbusRequests{};
};

extern CoreCounts coreCounts;

enum class ReportKind { kFrame, kAdu };

// One frame or ADU decoded: counted. `known`: its function is one the decoder handles.
void CountDecoded(ReportKind kind, bool known);
// One frame or ADU of `unitId` that is the RTU's own report (an RTU I/O frame, or a push of the
// system's own functions 0x23, 0x80 and 0x86), decoded from a chunk that came through `reply`:
// counted and recorded beside the unit's slot (RtuActivity), or among the unregistered ones when no
// slot holds the unit. A master's reads and standard writes are no report. Called by the decoder
// on a worker.
void CountReport(RtuTable& table, const IReplyPath& reply, ReportKind kind, std::int32_t unitId, bool known);
// One Modbus/TCP request answered as `result`.
void CountModbusRequest(std::uint8_t functionCode, ModbusResult result);
