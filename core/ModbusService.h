#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ChunkContext.h"
#include "core/RtuRecord.h"
#include "core/RtuSlot.h"

// Modbus/TCP ADU header; multi-byte fields big-endian, positions from the ADU's first byte.
inline constexpr std::size_t kAduProtocolPos = 2;
inline constexpr std::size_t kAduLengthPos = 4;
inline constexpr std::size_t kAduUnitPos = 6;
inline constexpr std::size_t kAduFunctionPos = 7;
inline constexpr std::size_t kAduStartPos = 8;
inline constexpr std::size_t kAduDataPos = 10;

// One ADU being served, with the words its function handlers speak.
struct Adu {
    ChunkContext& ctx;
    ChunkView view;            // from the ADU's first byte to the end of the chunk
    ModbusReplyHeader header;  // transaction id, protocol id, unit id, function code
    std::uint16_t start;       // start address A; register number = A + 1
    RtuSlot* slot;             // the addressed RTU, or null

    void Register(std::uint32_t registerNumber, std::int32_t value) const {
        ctx.core.UpdateRegister(header.unitId, registerNumber, value, ctx.rtuTime, 0);
    }
    void Coil(std::uint32_t registerNumber, std::int32_t value) const {
        ctx.core.UpdateCoil(header.unitId, registerNumber, value, ctx.rtuTime, 0);
    }
    // Acknowledges a write with the request's own first bytes.
    void Echo(std::size_t length) const { ctx.reply.Send(view.Data(), length); }
};

struct ModbusFunction {
    std::uint8_t code;
    std::size_t (*size)(const ChunkView& adu);  // how far the loop advances
    void (*run)(const Adu& adu);
};

// The served function code, or null.
const ModbusFunction* FindModbusFunction(std::uint8_t code);

// Serves the ADUs of the chunk from offset on.
void RunModbusLoop(ChunkContext& ctx, std::size_t offset);

// Adds the reply's bytes in hex to the raw-data list; nothing for an empty reply.
void DumpReply(const ChunkContext& ctx, const std::uint8_t* reply, std::size_t length);

// Function handlers.
void ReadBits(const Adu& adu);            // 0x01
void ReadRegisters(const Adu& adu);       // 0x03, 0x04
void WriteCoil(const Adu& adu);           // 0x05
void WriteRegister(const Adu& adu);       // 0x06
void WriteCoils(const Adu& adu);          // 0x0F
void WriteRegisters(const Adu& adu);      // 0x10
void WriteTimestamped(const Adu& adu);    // 0x23
void WriteLongRegisters(const Adu& adu);  // 0x80
void WriteLongRegister(const Adu& adu);   // 0x86
