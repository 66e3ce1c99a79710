#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Modbus/TCP's largest read: 125 registers (250 data bytes) fill one ADU of 260 bytes.
inline constexpr std::uint32_t kMaxRegistersPerRead = 125;
// The largest Modbus/TCP reply the service builds: 9 header bytes and two bytes per register.
inline constexpr std::size_t kMaxReplyBytes = 9 + 2 * kMaxRegistersPerRead;
using ReplyBuffer = std::array<std::uint8_t, kMaxReplyBytes>;

// The fields every Modbus/TCP reply copies from its request.
struct ModbusReplyHeader {
    std::uint16_t transactionId = 0;
    std::uint16_t protocolId = 0;
    std::uint8_t unitId = 0;
    std::uint8_t functionCode = 0;
};

// The live picture of one RTU: its identity and the latest value of each channel, as plain data.
// The live table keeps one per slot behind a lock (RtuSlot); readers work on copies.
// Modbus replies are built into a buffer the caller owns, so two connections reading the same unit
// at once never share a reply area.
struct RtuRecord {
    char uidText[32];      // unit id as decimal text, as in the registry
    std::uint8_t din[32];  // 0 off, non-zero on
    std::uint8_t dout[32];
    float ain[32];              // reported value x 0.1
    float itemp;                // reported value x 0.01
    std::int32_t signal;        // reported value - 256
    std::int32_t batt;          // 1 when the reported power value is non-zero
    float reg[256];             // Modbus registers and coils MBUSREG0..255
    std::uint8_t regKind[256];  // 0 never written, 1 register value, 2 coil value
    float etemp[32];            // reported value x 0.01
    char gps[128];
    std::int32_t model;
    float ecounter[4];  // reported value, unsigned, x 0.01
    float graycode[32];
    char registString[256];

    // What the state page shows for this model; decoding stores every channel whatever the model.
    std::uint8_t DinCount() const;
    std::uint8_t DoutCount() const;
    std::uint8_t AinCount() const;
    std::uint8_t EtempCount() const;
    std::uint8_t CounterCount() const;
    bool HasGps() const;
    bool HasGraycode() const;

    // Modbus read replies for window index k and quantity n; each returns the reply length in bytes,
    // 0 when n is above the window's limit (32 bits, 32 AIN registers, 125 registers).
    std::size_t BuildDinReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h) const;
    std::size_t BuildDoutReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h) const;
    std::size_t BuildAinReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h,
                              bool floatForm) const;
    std::size_t BuildRegisterReply(ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h,
                                   bool floatForm) const;
};
