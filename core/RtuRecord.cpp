#include "core/RtuRecord.h"

#include <cmath>
#include <cstring>

#include "core/ParseDecimal.h"

namespace {

struct ModelCapabilities {
    std::int32_t model;
    std::uint8_t din, dout, ain, etemp, counter;
    bool gps, graycode;
};

constexpr ModelCapabilities kModels[] = {
    {401, 4, 4, 0, 0, 0, false, false}, {402, 8, 8, 4, 0, 0, false, false}, {403, 4, 4, 4, 4, 4, true, false},
    {404, 0, 0, 0, 4, 0, false, false}, {405, 2, 1, 4, 0, 0, false, true},  {406, 4, 4, 0, 0, 4, false, false},
    {407, 8, 8, 4, 0, 4, false, false}, {409, 8, 8, 4, 0, 0, false, false},
};

constexpr ModelCapabilities kUnknownModel{};

const ModelCapabilities& CapabilitiesOf(std::int32_t model) {
    for (const auto& c : kModels) {
        if (c.model == model) return c;
    }
    return kUnknownModel;
}

constexpr std::uint32_t kMaxBitReadQuantity = 32;
constexpr std::uint32_t kMaxAinReadQuantity = 32;
constexpr std::uint32_t kMaxRegisterReadQuantity = kMaxRegistersPerRead;
constexpr std::size_t kReplyHeaderBytes = 9;

// Bytes 0..8: transaction id, protocol id, length, unit id, function code, byte count.
void WriteReplyHeader(ReplyBuffer& out, const ModbusReplyHeader& h, std::uint32_t lengthField, std::uint8_t byteCount) {
    out[0] = h.transactionId >> 8;
    out[1] = h.transactionId & 0xff;
    out[2] = h.protocolId >> 8;
    out[3] = h.protocolId & 0xff;
    out[4] = (lengthField >> 8) & 0xff;
    out[5] = lengthField & 0xff;
    out[6] = h.unitId;
    out[7] = h.functionCode;
    out[8] = byteCount;
}

template <class StateAt>
std::size_t BuildBitReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h,
                          StateAt stateAt) {
    if (n > kMaxBitReadQuantity) return 0;
    const std::uint32_t byteCount = n / 8 + (n % 8 != 0 ? 1 : 0);
    WriteReplyHeader(out, h, byteCount + 3, static_cast<std::uint8_t>(byteCount));
    std::memset(out.data() + kReplyHeaderBytes, 0, byteCount);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (stateAt(k + i) != 0) out[kReplyHeaderBytes + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    }
    return kReplyHeaderBytes + byteCount;
}

// Integer form: one big-endian word per register, the value x 10, as the decimal the float stands
// for (a float cannot hold 49.8: it keeps 49.79999..., which still reads 498). Float form: one
// IEEE-754 single per register pair, low word first, each word big-endian; an odd quantity ends
// with the low word of the next single, so that the reply carries the two bytes per register its
// byte count promises.
template <class ValueAt>
std::size_t BuildWordReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n, std::uint32_t limit,
                           const ModbusReplyHeader& h, bool floatForm, ValueAt valueAt) {
    if (n > limit) return 0;
    WriteReplyHeader(out, h, 2 * n + 3, static_cast<std::uint8_t>((2 * n) & 0xff));
    std::uint8_t* data = out.data() + kReplyHeaderBytes;
    if (!floatForm) {
        for (std::uint32_t i = 0; i < n; ++i) {
            const auto word = static_cast<std::uint16_t>(TruncScaledDecimal(10.0 * valueAt(k + i), kFloatDecimalError));
            data[2 * i] = word >> 8;
            data[2 * i + 1] = word & 0xff;
        }
        return kReplyHeaderBytes + 2 * n;
    }
    for (std::uint32_t word = 0; word < n; ++word) {
        std::uint32_t bits;
        const float value = valueAt(k + word / 2);
        std::memcpy(&bits, &value, sizeof bits);
        const std::uint32_t half = word % 2 == 0 ? bits & 0xffff : bits >> 16;
        data[2 * word] = (half >> 8) & 0xff;
        data[2 * word + 1] = half & 0xff;
    }
    return kReplyHeaderBytes + 2 * n;
}

}  // namespace

std::uint8_t RtuRecord::DinCount() const { return CapabilitiesOf(model).din; }
std::uint8_t RtuRecord::DoutCount() const { return CapabilitiesOf(model).dout; }
std::uint8_t RtuRecord::AinCount() const { return CapabilitiesOf(model).ain; }
std::uint8_t RtuRecord::EtempCount() const { return CapabilitiesOf(model).etemp; }
std::uint8_t RtuRecord::CounterCount() const { return CapabilitiesOf(model).counter; }
bool RtuRecord::HasGps() const { return CapabilitiesOf(model).gps; }
bool RtuRecord::HasGraycode() const { return CapabilitiesOf(model).graycode; }

// DIN window: DIN0..31, continued by DOUT0..31.
std::size_t RtuRecord::BuildDinReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n,
                                     const ModbusReplyHeader& h) const {
    return BuildBitReply(out, k, n, h, [this](std::uint32_t pos) -> std::uint8_t {
        if (pos < 32) return din[pos];
        return pos < 64 ? dout[pos - 32] : 0;
    });
}

// DOUT window: DOUT0..31; positions beyond have no source and read as off.
std::size_t RtuRecord::BuildDoutReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n,
                                      const ModbusReplyHeader& h) const {
    return BuildBitReply(out, k, n, h, [this](std::uint32_t pos) -> std::uint8_t { return pos < 32 ? dout[pos] : 0; });
}

// AIN window: AIN0..31, the built-in temperature at position 32, 0.0 beyond.
std::size_t RtuRecord::BuildAinReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h,
                                     bool floatForm) const {
    return BuildWordReply(out, k, n, kMaxAinReadQuantity, h, floatForm, [this](std::uint32_t pos) -> float {
        if (pos < 32) return ain[pos];
        return pos == 32 ? itemp : 0.0f;
    });
}

// Register window: MBUSREG0..255, 0.0 beyond.
std::size_t RtuRecord::BuildRegisterReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n,
                                          const ModbusReplyHeader& h, bool floatForm) const {
    return BuildWordReply(out, k, n, kMaxRegisterReadQuantity, h, floatForm,
                          [this](std::uint32_t pos) -> float { return pos < 256 ? reg[pos] : 0.0f; });
}
