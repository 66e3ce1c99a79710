// Modbus/TCP writes: readings pushed by an RTU or a master, applied as channel updates and
// acknowledged by echoing the request's first bytes (standard mode: fn 0x0F and 0x10 with the
// 12-byte reply of the Modbus application protocol, and exception responses for what cannot be
// written).
#include <cstring>
#include <optional>

#include "core/ModbusService.h"
#include "core/ParseDecimal.h"
#include "core/TextFormat.h"

namespace {

constexpr std::size_t kQuantityPos = 10;
constexpr std::size_t kByteCountPos = 12;
constexpr std::size_t kItemsPos = 13;
constexpr std::size_t kTimestampPos = 12;
constexpr std::size_t kTimestampedItemsPos = 18;
constexpr std::size_t kSingleWriteLength = 12;
// The most items one Modbus/TCP request can carry.
constexpr std::uint32_t kMaxCoilsPerWrite = 1968;
constexpr std::uint32_t kMaxRegistersPerWrite = 123;

// Addresses 1200..1233 hold Modbus registers, which the table keeps unscaled: values written there
// by 0x10 and 0x86 are taken x 100 so the x 0.01 of the register update cancels out.
bool IsModbusRegisterAddress(std::uint32_t address, std::uint32_t last) { return address >= 1200 && address <= last; }

std::int32_t TimesHundred(std::int32_t value) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(value) * 100);
}

std::uint32_t Quantity(const Adu& adu) { return adu.view.BigEndian16(kQuantityPos); }
std::size_t EchoWithByteCount(const Adu& adu) { return kItemsPos + adu.view.At(kByteCountPos); }

using HasChannel = bool (*)(std::uint32_t registerNumber);

// Standard mode's refusal of a write of `quantity` items from the start address on; none when the
// write can go ahead. `countAgrees`: the byte count is the one the quantity calls for.
std::optional<std::uint8_t> WriteRefusal(const Adu& adu, std::uint32_t quantity, std::uint32_t limit, bool countAgrees,
                                         HasChannel hasChannel) {
    if (!adu.slot) return kTargetFailedToRespond;
    if (quantity == 0 || quantity > limit || !countAgrees) return kIllegalDataValue;
    for (std::uint32_t i = 0; i < quantity; ++i) {
        if (!hasChannel(adu.start + 1u + i)) return kIllegalDataAddress;
    }
    return std::nullopt;
}

// The acknowledgement of a multiple write in standard mode: the request's first 12 bytes, with
// the length field of those bytes.
ModbusResult AcknowledgeMultiple(const Adu& adu) {
    std::uint8_t reply[kSingleWriteLength];
    std::memcpy(reply, adu.view.Data(), sizeof reply);
    reply[kAduLengthPos] = 0;
    reply[kAduLengthPos + 1] = kSingleWriteLength - kAduUnitPos;
    adu.ctx.reply.Send(reply, sizeof reply);
    return ModbusResult::kOk;
}

}  // namespace

ModbusResult WriteCoil(const Adu& adu) {
    if (adu.Standard()) {
        if (auto refusal = WriteRefusal(adu, 1, 1, true, &TelemetryCore::CoilHasChannel)) return adu.Refuse(*refusal);
    }
    adu.Coil(adu.start + 1u, adu.view.BigEndian16(kAduDataPos) != 0 ? 1 : 0);
    return adu.Echo(kSingleWriteLength);
}

ModbusResult WriteRegister(const Adu& adu) {
    if (adu.Standard()) {
        if (auto refusal = WriteRefusal(adu, 1, 1, true, &TelemetryCore::RegisterHasChannel)) {
            return adu.Refuse(*refusal);
        }
    }
    adu.Register(adu.start + 1u, static_cast<std::int16_t>(adu.view.BigEndian16(kAduDataPos)));
    return adu.Echo(kSingleWriteLength);
}

// The quantity, not the byte count, says how many bits are applied; only bits that arrived are.
ModbusResult WriteCoils(const Adu& adu) {
    const std::uint32_t quantity = Quantity(adu);
    if (adu.Standard()) {
        const bool countAgrees = adu.view.At(kByteCountPos) == (quantity + 7) / 8;
        if (auto refusal =
                WriteRefusal(adu, quantity, kMaxCoilsPerWrite, countAgrees, &TelemetryCore::CoilHasChannel)) {
            return adu.Refuse(*refusal);
        }
    }
    for (std::uint32_t i = 0; i < quantity && kItemsPos + i / 8 < adu.view.Size(); ++i) {
        adu.Coil(adu.start + 1u + i, (adu.view.At(kItemsPos + i / 8) >> (i % 8)) & 1);
    }
    return adu.Standard() ? AcknowledgeMultiple(adu) : adu.Echo(EchoWithByteCount(adu));
}

ModbusResult WriteRegisters(const Adu& adu) {
    const std::uint32_t quantity = Quantity(adu);
    if (adu.Standard()) {
        const bool countAgrees = adu.view.At(kByteCountPos) == 2 * quantity;
        if (auto refusal =
                WriteRefusal(adu, quantity, kMaxRegistersPerWrite, countAgrees, &TelemetryCore::RegisterHasChannel)) {
            return adu.Refuse(*refusal);
        }
    }
    for (std::uint32_t i = 0; i < quantity && kItemsPos + 2 * i + 1 < adu.view.Size(); ++i) {
        std::int32_t value = static_cast<std::int16_t>(adu.view.BigEndian16(kItemsPos + 2 * i));
        if (IsModbusRegisterAddress(adu.start + i, 1233)) value = TimesHundred(value);
        adu.Register(adu.start + 1u + i, value);
    }
    return adu.Standard() ? AcknowledgeMultiple(adu) : adu.Echo(EchoWithByteCount(adu));
}

// Items of five bytes: a type byte, then four bytes little-endian; type 0 a coil, type 3 an
// IEEE-754 single. The six timestamp bytes before them are only logged.
ModbusResult WriteTimestamped(const Adu& adu) {
    const ChunkView& v = adu.view;
    std::size_t t = kTimestampPos;
    if (adu.ctx.modbusList) {
        adu.ctx.LogModbus(Format("MODTCP: TIMESTAMP=%2.2d/%2.2d/%2.2d %2.2d-%2.2d-%2.2d", v.At(t), v.At(t + 1),
                                 v.At(t + 2), v.At(t + 3), v.At(t + 4), v.At(t + 5)));
    }
    const std::uint32_t quantity = Quantity(adu);
    for (std::uint32_t i = 0; i < quantity; ++i) {
        const std::size_t item = kTimestampedItemsPos + 5 * std::size_t{i};
        const std::uint32_t raw = v.LittleEndian32(item + 1);
        if (v.At(item) == 0) adu.Coil(adu.start + 1u + i, raw != 0 ? 1 : 0);
        if (v.At(item) != 3) continue;
        float value;
        std::memcpy(&value, &raw, sizeof value);
        adu.Register(adu.start + 1u + i, TruncScaledDecimal(static_cast<double>(value) * 100.0, kFloatDecimalError));
    }
    return adu.Echo(kSingleWriteLength);
}

ModbusResult WriteLongRegisters(const Adu& adu) {
    const std::uint32_t quantity = Quantity(adu);
    for (std::uint32_t i = 0; i < quantity && kItemsPos + 4 * std::size_t{i} + 3 < adu.view.Size(); ++i) {
        adu.Register(adu.start + 1u + i, static_cast<std::int32_t>(adu.view.BigEndian32(kItemsPos + 4 * i)));
    }
    return adu.Echo(EchoWithByteCount(adu));
}

ModbusResult WriteLongRegister(const Adu& adu) {
    std::int32_t value = static_cast<std::int32_t>(adu.view.BigEndian32(kAduDataPos));
    if (IsModbusRegisterAddress(adu.start, 1232)) value = TimesHundred(value);
    adu.Register(adu.start + 1u, value);
    return adu.Echo(14);
}
