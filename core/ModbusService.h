#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ChunkContext.h"
#include "core/CoreCounts.h"
#include "core/DecodeStop.h"
#include "core/FrameDecoder.h"
#include "core/MessageStart.h"
#include "core/ModbusMode.h"
#include "core/RtuRecord.h"
#include "core/RtuSlot.h"

// Modbus/TCP ADU header; multi-byte fields big-endian, positions from the ADU's first byte.
inline constexpr std::size_t kAduProtocolPos = 2;
inline constexpr std::size_t kAduLengthPos = 4;
inline constexpr std::size_t kAduUnitPos = 6;
inline constexpr std::size_t kAduFunctionPos = 7;
inline constexpr std::size_t kAduStartPos = 8;
inline constexpr std::size_t kAduDataPos = 10;
// Modbus/TCP's largest ADU: a 7-byte MBAP header and a PDU of at most 253 bytes.
inline constexpr std::size_t kMaxAduBytes = 260;

// Exception codes of the Modbus application protocol, as standard mode answers with them.
inline constexpr std::uint8_t kIllegalFunction = 0x01;
inline constexpr std::uint8_t kIllegalDataAddress = 0x02;
inline constexpr std::uint8_t kIllegalDataValue = 0x03;
inline constexpr std::uint8_t kTargetFailedToRespond = 0x0B;  // a unit id not in the live table

// One ADU being served, with the words its function handlers speak.
struct Adu {
    ChunkContext& ctx;
    ChunkView view;            // the ADU's own bytes, its whole extent
    ModbusReplyHeader header;  // transaction id, protocol id, unit id, function code
    std::uint16_t start;       // start address A; register number = A + 1
    RtuSlot* slot;             // the addressed RTU, or null

    void Register(std::uint32_t registerNumber, std::int32_t value) const {
        ctx.core.UpdateRegister(header.unitId, registerNumber, value, ctx.rtuTime, 0, ctx.modbusList != nullptr);
    }
    void Coil(std::uint32_t registerNumber, std::int32_t value) const {
        ctx.core.UpdateCoil(header.unitId, registerNumber, value, ctx.rtuTime, 0, ctx.modbusList != nullptr);
    }
    bool Standard() const { return ctx.modbusMode == ModbusMode::kStandard; }
    // Acknowledges a write with the request's own first bytes.
    ModbusResult Echo(std::size_t length) const {
        ctx.reply.Send(view.Data(), length);
        return ModbusResult::kOk;
    }
    // A request that cannot be served: in standard mode the exception response with `code`,
    // in classic mode no answer.
    ModbusResult Refuse(std::uint8_t code) const;
};

struct ModbusFunction {
    std::uint8_t code;
    std::size_t (*size)(const ChunkView& adu);  // how far the loop advances
    ModbusResult (*run)(const Adu& adu);
    std::size_t sizeKnownFrom;  // bytes that must have arrived before size() can be read
    std::size_t header;         // bytes before the function's items (its whole size when it has none)
    bool report;                // one of the system's own push functions: the RTU's report
};

// The served function code, or null.
const ModbusFunction* FindModbusFunction(std::uint8_t code);

// Whether the bytes at the start of a view can be a well-formed ADU: protocol id 0, a served
// function, a length field that agrees with the extent the function calls for, and no more than
// kMaxAduBytes in all. kNotYet while the bytes that would tell have not arrived.
Verdict PlausibleAdu(const ChunkView& view);

// What the bytes at the start of a view are, read as the beginning of an ADU, when more bytes may
// follow in a later receive.
enum class AduShape : std::uint8_t {
    kWhole,      // a served function, well-formed, all there: executed
    kUnserved,   // a protocol id other than 0 or a function not served, all there by its length field
    kCut,        // could still become one of the above, or its header is not complete: hold it
    kMalformed,  // a served function that can never be well-formed: its header is dropped on its own
    kNotAdu,     // kUnserved but for a length field that fits no ADU: the rest of the chunk is dropped
};
struct AduInspection {
    AduShape shape;
    std::size_t size;  // kWhole, kUnserved: its extent; kMalformed: the size of its header
};
AduInspection InspectAdu(const ChunkView& view);

// Serves the ADUs of the chunk from offset on, with whatever frames follow them (DecodeMessages).
// With ctx.stopAtCut, stops in front of an ADU that runs past the end of the chunk and says so.
DecodeStop RunModbusLoop(ChunkContext& ctx, std::size_t offset);
// The ADUs from offset on, the first one an ADU whatever its first byte, until a frame begins or
// the chunk is done.
RunEnd ServeAduRun(ChunkContext& ctx, std::size_t offset);

// Adds the reply's bytes in hex to the raw-data list; nothing for an empty reply.
void DumpReply(const ChunkContext& ctx, const std::uint8_t* reply, std::size_t length);

// Sends the exception response with `code` to the ADU whose header is given, and logs it.
void SendModbusException(const ChunkContext& ctx, const ModbusReplyHeader& header, std::uint8_t code);

// Function handlers.
ModbusResult ReadBits(const Adu& adu);            // 0x01
ModbusResult ReadRegisters(const Adu& adu);       // 0x03, 0x04
ModbusResult WriteCoil(const Adu& adu);           // 0x05
ModbusResult WriteRegister(const Adu& adu);       // 0x06
ModbusResult WriteCoils(const Adu& adu);          // 0x0F
ModbusResult WriteRegisters(const Adu& adu);      // 0x10
ModbusResult WriteTimestamped(const Adu& adu);    // 0x23
ModbusResult WriteLongRegisters(const Adu& adu);  // 0x80
ModbusResult WriteLongRegister(const Adu& adu);   // 0x86
