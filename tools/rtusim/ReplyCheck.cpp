#include "tools/rtusim/ReplyCheck.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace rtusim {

namespace {

// The largest reply of this server: a read of 256 registers, 9 + 2 × 256 bytes.
constexpr std::size_t kLargestModbusReply = 9 + 2 * kMaxWindowRegisters;

std::uint16_t word(ByteView bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

std::size_t byteCountFor(const ReadRequest& r) {
    if (r.fn == 0x01) return (r.quantity + 7u) / 8u;
    return (2u * r.quantity) & 0xffu;  // the server sends the low byte of 2 × N
}

// Channels past these are never written by the server, so they always read 0.
constexpr std::uint32_t kWrittenBits = 8;        // DIN0..7, DOUT0..7
constexpr std::uint32_t kWrittenAin = 8;         // AIN0..7
constexpr std::uint32_t kWrittenRegisters = 33;  // MBUSREG0..32

std::optional<double> knownChannel(const ValueModel& model, std::uint8_t unit, Area area, std::uint32_t index,
                                   std::uint32_t written) {
    if (index >= written) return 0.0;
    return model.known(unit, area, static_cast<std::uint16_t>(index));
}

// The known value at a window position; positions with a fixed value are known whatever the model.
std::optional<double> knownAt(const ReadRequest& r, std::uint32_t position, const ValueModel& model) {
    if (r.fn == 0x01 && r.address < kDoutWindow) {
        if (position < 32) return knownChannel(model, r.unit, Area::Din, position, kWrittenBits);
        if (position < 64) return knownChannel(model, r.unit, Area::Dout, position - 32, kWrittenBits);
        return std::nullopt;
    }
    if (r.fn == 0x01) {
        if (position < 32) return knownChannel(model, r.unit, Area::Dout, position, kWrittenBits);
        return std::nullopt;  // past DOUT31 the server has no defined source
    }
    if (r.address < kRegisterWindow) {
        if (position < 32) return knownChannel(model, r.unit, Area::Ain, position, kWrittenAin);
        if (position == 32) return model.known(r.unit, Area::Itemp, 0);
        return 0.0;  // the AIN window's last positions are always zero
    }
    if (position < 256) return knownChannel(model, r.unit, Area::Reg, position, kWrittenRegisters);
    return 0.0;
}

bool valueMatches(const ReadRequest& r, ByteView reply, std::uint32_t i, double expected) {
    if (r.fn == 0x01) return ((reply[9 + i / 8] >> (i % 8)) & 1u) == (expected != 0.0 ? 1u : 0u);
    if (r.fn == 0x03) {
        // The server reads back the decimal sent, x 10, cutting off only a real fraction.
        const double tenTimes = 10.0 * expected;
        const double nearest = std::nearbyint(tenTimes);
        const bool whole = std::fabs(tenTimes - nearest) <= 1e-6 * std::fabs(tenTimes);
        const auto scaled = static_cast<std::int32_t>(whole ? nearest : std::trunc(tenTimes));
        return word(reply, 9 + 2 * i) == static_cast<std::uint16_t>(scaled);
    }
    // Float form: the low word first, each word big-endian.
    const std::uint32_t raw = static_cast<std::uint32_t>(word(reply, 11 + 4 * i)) << 16 | word(reply, 9 + 4 * i);
    return std::bit_cast<float>(raw) == static_cast<float>(expected);
}

std::uint32_t windowBase(const ReadRequest& r) {
    if (r.fn == 0x01) return r.address < kDoutWindow ? kDinWindow : kDoutWindow;
    return r.address < kRegisterWindow ? kAinWindow : kRegisterWindow;
}

bool valuesMatch(const ReadRequest& r, ByteView reply, const ValueModel& model, std::size_t& compared) {
    const std::uint32_t start = r.address - windowBase(r);
    const std::uint32_t count = r.fn == 0x04 ? r.quantity / 2u : r.quantity;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::optional<double> expected = knownAt(r, start + i, model);
        if (!expected) continue;
        ++compared;
        if (!valueMatches(r, reply, i, *expected)) return false;
    }
    return true;
}

bool unusedBitsClear(const ReadRequest& r, ByteView reply) {
    if (r.fn != 0x01 || r.quantity % 8 == 0) return true;
    const auto used = static_cast<std::uint8_t>((1u << (r.quantity % 8)) - 1);
    return (reply[reply.size() - 1] & ~used) == 0;
}

bool isDigitPair(ByteView text, std::size_t at) {
    return text[at] >= '0' && text[at] <= '9' && text[at + 1] >= '0' && text[at + 1] <= '9';
}

int pairValue(ByteView text, std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); }

// "yy/mm/dd hh:mm" at position 13 of the time reply, as local time; -1 when it is not a time.
std::time_t replyTime(ByteView reply) {
    static constexpr char kSeparators[] = "// :";
    for (std::size_t field = 0; field < 5; ++field) {
        if (!isDigitPair(reply, 13 + 3 * field)) return -1;
        if (field < 4 && reply[15 + 3 * field] != static_cast<std::uint8_t>(kSeparators[field])) return -1;
    }
    std::tm local{};
    local.tm_year = 100 + pairValue(reply, 13);
    local.tm_mon = pairValue(reply, 16) - 1;
    local.tm_mday = pairValue(reply, 19);
    local.tm_hour = pairValue(reply, 22);
    local.tm_min = pairValue(reply, 25);
    local.tm_isdst = -1;
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_mday > 31 || local.tm_hour > 23 ||
        local.tm_min > 59)
        return -1;
    return std::mktime(&local);
}

}  // namespace

const char* faultName(ReplyFault fault) {
    static constexpr const char* kNames[] = {"none",   "malformed", "transaction", "unit", "function",  "byte_count",
                                             "length", "value",     "time",        "echo", "unexpected"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(ReplyFault::Count));
    return kNames[static_cast<std::size_t>(fault)];
}

std::optional<std::size_t> modbusReplySize(ByteView bytes) {
    if (bytes.size() < kMbapSize) return 0;
    const std::size_t size = kMbapSize + word(bytes, 4);
    if (size < 9 || size > kLargestModbusReply) return std::nullopt;
    return size;
}

ReplyFault checkReadReply(const ReadRequest& r, ByteView reply, const ValueModel* model, std::size_t* compared) {
    if (reply.size() < 9) return ReplyFault::Malformed;
    if (word(reply, 0) != r.transaction) return ReplyFault::Transaction;
    if (word(reply, 2) != 0) return ReplyFault::Malformed;
    if (reply[6] != r.unit) return ReplyFault::Unit;
    if (reply[7] != r.fn) return ReplyFault::Function;
    const std::size_t count = byteCountFor(r);
    if (reply[8] != count) return ReplyFault::ByteCount;
    const std::size_t lengthField = r.fn == 0x01 ? count + 3 : 2u * r.quantity + 3;
    if (word(reply, 4) != lengthField || reply.size() != readReplySize(r)) return ReplyFault::Length;
    if (!unusedBitsClear(r, reply)) return ReplyFault::Malformed;
    std::size_t valuesCompared = 0;
    const bool valuesRight = !model || valuesMatch(r, reply, *model, valuesCompared);
    if (compared) *compared = valuesCompared;
    if (!valuesRight) return ReplyFault::Value;
    return ReplyFault::None;
}

ReplyFault checkEcho(ByteView expected, ByteView reply, bool modbus) {
    if (reply.size() != expected.size()) return ReplyFault::Length;
    if (modbus && reply.size() >= 8) {
        if (word(reply, 0) != word(expected, 0)) return ReplyFault::Transaction;
        if (reply[6] != expected[6]) return ReplyFault::Unit;
        if (reply[7] != expected[7]) return ReplyFault::Function;
    }
    if (!std::equal(expected.begin(), expected.end(), reply.begin())) return ReplyFault::Echo;
    return ReplyFault::None;
}

std::optional<std::size_t> timeReplySize(ByteView bytes) {
    if (bytes.empty()) return 0;
    if (bytes[0] != '$') return std::nullopt;
    for (std::size_t i = 1; i < bytes.size() && i < kTimeReplySize; ++i)
        if (bytes[i] == '$') return i + 1;
    if (bytes.size() >= kTimeReplySize) return std::nullopt;
    return 0;
}

ReplyFault checkTimeReply(std::string_view unitText, ByteView reply, std::time_t sentAt, std::time_t receivedAt,
                          int toleranceSeconds) {
    if (reply.size() != kTimeReplySize || reply[0] != '$' || reply[27] != '$') return ReplyFault::Malformed;
    if (unitText.size() != 8 || std::memcmp(reply.data() + 1, unitText.data(), 8) != 0) return ReplyFault::Unit;
    if (std::memcmp(reply.data() + 9, "SC83", 4) != 0) return ReplyFault::Function;
    const std::time_t shown = replyTime(reply);
    if (shown < 0) return ReplyFault::Malformed;
    // The reply shows whole minutes, so the server's clock read up to 59 seconds later.
    if (shown < sentAt - 60 - toleranceSeconds || shown > receivedAt + toleranceSeconds) return ReplyFault::Time;
    return ReplyFault::None;
}

}  // namespace rtusim
