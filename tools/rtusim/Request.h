#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/rtusim/Effect.h"
#include "tools/rtusim/ModbusAdu.h"

namespace rtusim {

enum class MessageKind : std::uint8_t { Frame, TimeRequest, ModbusRead, ModbusWrite };

// One reply the server owes for a request, in the order the server sends them.
struct ExpectedReply {
    enum class Kind : std::uint8_t { ModbusRead, ModbusEcho, FrameEcho, TimeReply };
    Kind kind = Kind::ModbusRead;
    Bytes echo;            // ModbusEcho, FrameEcho: the bytes that must come back
    ReadRequest read;      // ModbusRead
    std::string unitText;  // TimeReply: the 8 unit-id characters of the frame
};

// One message as sent in one write: an RTU frame or a Modbus/TCP ADU.
struct Request {
    MessageKind kind = MessageKind::Frame;
    std::uint32_t unit = 0;
    Bytes bytes;
    std::vector<ExpectedReply> replies;
    Effects effects;                        // on unit
    unsigned readings = 0;                  // history rows the server records for it
    std::vector<RecordedReading> recorded;  // those rows, one entry each
};

}  // namespace rtusim
