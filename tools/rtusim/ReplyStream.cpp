#include "tools/rtusim/ReplyStream.h"

namespace rtusim {

namespace {

std::optional<Judged> judgeRead(const ExpectedReply& expected, ByteView bytes, const JudgeContext& context) {
    const std::optional<std::size_t> size = modbusReplySize(bytes);
    if (!size) return Judged{bytes.size(), ReplyFault::Malformed};
    if (*size == 0 || bytes.size() < *size) return std::nullopt;
    Judged judged{*size, ReplyFault::None, 0};
    judged.fault = checkReadReply(expected.read, bytes.first(*size), context.model, &judged.valuesChecked);
    return judged;
}

std::optional<Judged> judgeEcho(const ExpectedReply& expected, ByteView bytes) {
    const bool modbus = expected.kind == ExpectedReply::Kind::ModbusEcho;
    // A frame echo starts with "$": anything else is not an echo, however long it is.
    if (!modbus && !bytes.empty() && bytes[0] != '$') return Judged{bytes.size(), ReplyFault::Malformed};
    if (bytes.size() < expected.echo.size()) return std::nullopt;
    const std::size_t size = expected.echo.size();
    return Judged{size, checkEcho(expected.echo, bytes.first(size), modbus)};
}

std::optional<Judged> judgeTime(const ExpectedReply& expected, ByteView bytes, const JudgeContext& context) {
    const std::optional<std::size_t> size = timeReplySize(bytes);
    if (!size) return Judged{bytes.size(), ReplyFault::Malformed};
    if (*size == 0) return std::nullopt;
    return Judged{*size, checkTimeReply(expected.unitText, bytes.first(*size), context.sentAt, context.receivedAt,
                                        context.timeToleranceSeconds)};
}

}  // namespace

std::optional<Judged> judgeFront(const ExpectedReply& expected, ByteView bytes, const JudgeContext& context) {
    switch (expected.kind) {
        case ExpectedReply::Kind::ModbusRead:
            return judgeRead(expected, bytes, context);
        case ExpectedReply::Kind::TimeReply:
            return judgeTime(expected, bytes, context);
        default:
            return judgeEcho(expected, bytes);
    }
}

}  // namespace rtusim
