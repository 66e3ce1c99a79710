#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string_view>

#include "tools/rtusim/ModbusAdu.h"
#include "tools/rtusim/ValueModel.h"

namespace rtusim {

// Why a reply is wrong. The names are the keys of the summary's "wrong" object.
enum class ReplyFault : std::uint8_t {
    None,
    Malformed,    // cannot be delimited or read: bad length, protocol id, form, unused bits set
    Transaction,  // Modbus transaction id differs from the request's
    Unit,         // unit id differs
    Function,     // function code (or the time reply's "SC83") differs
    ByteCount,    // Modbus byte count differs
    Length,       // length field or reply size differs
    Value,        // a value rtusim wrote differs from what was read back
    Time,         // the time reply is more than the tolerance away from the local clock
    Echo,         // an echo differs from the bytes sent
    Unexpected,   // bytes arrived when no reply was expected
    Count
};

const char* faultName(ReplyFault fault);

using ByteView = std::span<const std::uint8_t>;

// The size of the Modbus/TCP reply at the front of bytes from its length field: 0 while the
// header is incomplete, empty when the length cannot belong to any reply of this server.
std::optional<std::size_t> modbusReplySize(ByteView bytes);

// A read reply: header, byte count, size, and with a model the values rtusim knows; compared
// (when given) counts the values compared.
ReplyFault checkReadReply(const ReadRequest& request, ByteView reply, const ValueModel* model,
                          std::size_t* compared = nullptr);

// A Modbus write acknowledgement or an RTU frame echo: the sent bytes' first expected.size().
ReplyFault checkEcho(ByteView expected, ByteView reply, bool modbus);

// The time reply "$" + 8 unit-id characters + "SC83" + "yy/mm/dd hh:mm" + "$".
constexpr std::size_t kTimeReplySize = 28;

// The size of the time reply at the front of bytes up to its closing "$": 0 while incomplete,
// empty when the bytes cannot be one.
std::optional<std::size_t> timeReplySize(ByteView bytes);

// sentAt and receivedAt bound the server's clock reading; tolerance allows for clock skew.
ReplyFault checkTimeReply(std::string_view unitText, ByteView reply, std::time_t sentAt, std::time_t receivedAt,
                          int toleranceSeconds);

}  // namespace rtusim
