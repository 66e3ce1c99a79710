#pragma once

#include <cstddef>
#include <ctime>
#include <optional>

#include "tools/rtusim/ReplyCheck.h"
#include "tools/rtusim/Request.h"

namespace rtusim {

// The verdict on the reply at the front of the received bytes.
struct Judged {
    std::size_t size = 0;  // bytes the reply took; on a fault the stream cannot be trusted further
    ReplyFault fault = ReplyFault::None;
    std::size_t valuesChecked = 0;  // values of a read compared with a known value
};

struct JudgeContext {
    const ValueModel* model = nullptr;  // null: values are not checked
    std::time_t sentAt = 0;             // wall clock, for the time reply
    std::time_t receivedAt = 0;
    int timeToleranceSeconds = 120;
};

// Delimits and checks the expected reply at the front of bytes; empty while it is incomplete.
// Modbus reads are delimited by their length field, echoes by the bytes sent, the time reply by
// its closing "$".
std::optional<Judged> judgeFront(const ExpectedReply& expected, ByteView bytes, const JudgeContext& context);

}  // namespace rtusim
