#include "tools/rtusim/RequestMix.h"

#include <algorithm>
#include <cstdio>

#include "tools/rtusim/Draw.h"
#include "tools/rtusim/ModbusWriteMix.h"
#include "tools/rtusim/RtuFrame.h"

namespace rtusim {

namespace {

bool isWriteFunction(std::uint8_t fn) {
    const auto& writes = modbusWriteFunctions();
    return std::find(writes.begin(), writes.end(), fn) != writes.end();
}

// The mix holds RTU functions and Modbus function codes in one list; Modbus ones are marked by
// this bit so that code 0x01 of either protocol stays distinct.
constexpr std::uint16_t kModbusMark = 0x100;

std::uint16_t channelFor(std::uint8_t fn, Draw& draw) {
    switch (fn) {
        case 0x02:
        case 0x10:
        case 0x43:
            return static_cast<std::uint16_t>(draw.between(0, 7));
        case 0x19:
        case 0x36:
            return static_cast<std::uint16_t>(draw.between(0, 1));
        case 0x48:
            return static_cast<std::uint16_t>(draw.between(0, 3));
        case 0x31:
            return static_cast<std::uint16_t>(draw.between(0, 32));
        default:
            return 0;
    }
}

std::size_t itemCount(std::uint8_t fn, Draw& draw) {
    switch (fn) {
        case 0x20:
        case 0x21:
        case 0x22:
        case 0x33:
            return static_cast<std::size_t>(draw.between(1, 8));
        case 0x32:
        case 0x41:
            return static_cast<std::size_t>(draw.between(1, 4));
        default:
            return 1;
    }
}

// Live-looking numbers with two decimals, or whole ones when values are checked.
std::int64_t number(Draw& draw, bool whole) { return whole ? draw.wholeValue() * 100 : draw.between(-2000, 30000); }

FrameValues frameValues(std::uint8_t fn, Draw& draw, bool whole) {
    FrameValues v;
    v.channel = channelFor(fn, draw);
    v.signal = 256 + draw.between(0, 31);
    const std::size_t count = itemCount(fn, draw);
    for (std::size_t i = 0; i < count; ++i) {
        v.numbers.push_back(number(draw, whole));
        v.states.push_back(draw.coin());
        v.coils.push_back(draw.coin());
        v.indexes.push_back(static_cast<std::uint8_t>(draw.between(0, 32)));
        v.digits.push_back(static_cast<std::uint8_t>(draw.between(0, 1)));
    }
    return v;
}

std::string unitText(std::uint32_t unit) {
    char text[16];
    std::snprintf(text, sizeof text, "%08u", unit);
    return text;
}

}  // namespace

RequestMix::RequestMix(const SimOptions& options, std::vector<std::uint32_t> ownUnits, std::uint64_t seed)
    : options(options),
      allUnits(options.units),
      allModbusUnits(modbusUnits(options.units)),
      ownFrameUnits(ownUnits),
      ownModbusUnits(modbusUnits(ownUnits)),
      random(seed) {
    std::vector<double> weights;
    for (const WeightedFunction& f : options.frames) {
        functions.push_back(f.fn);
        weights.push_back(f.weight);
    }
    for (const WeightedFunction& f : options.modbus) {
        functions.push_back(static_cast<std::uint16_t>(kModbusMark | f.fn));
        weights.push_back(f.weight);
    }
    choice = std::discrete_distribution<std::size_t>(weights.begin(), weights.end());
    const auto drawn = static_cast<std::uint16_t>(random());
    transaction = options.transactionStart ? static_cast<std::uint16_t>(*options.transactionStart - 1) : drawn;
}

Request RequestMix::next(std::time_t now) {
    const std::uint16_t picked = functions[choice(random)];
    const auto fn = static_cast<std::uint8_t>(picked & 0xff);
    std::vector<RecordedReading> recorded;
    collectReadings(&recorded);
    Request request =
        !(picked & kModbusMark) ? frame(fn, now) : (isWriteFunction(fn) ? modbusWrite(fn, now) : modbusRead(fn));
    collectReadings(nullptr);
    request.recorded = std::move(recorded);
    return request;
}

bool RequestMix::isSafeTransaction(std::uint16_t t, bool counting) {
    const auto high = static_cast<std::uint8_t>(t >> 8), low = static_cast<std::uint8_t>(t & 0xff);
    return (counting || high != '$') && low != 'C' && low != 'R';
}

std::uint16_t RequestMix::nextTransaction() {
    do {
        ++transaction;
    } while (!isSafeTransaction(transaction, options.transactionStart.has_value()));
    return transaction;
}

std::uint32_t RequestMix::anyUnit(bool modbus) {
    const auto& units = modbus ? allModbusUnits : allUnits;
    return units[static_cast<std::size_t>(Draw(random).between(0, static_cast<int>(units.size()) - 1))];
}

std::uint32_t RequestMix::ownUnit(bool modbus) {
    const auto& units = modbus ? ownModbusUnits : ownFrameUnits;
    return units[static_cast<std::size_t>(Draw(random).between(0, static_cast<int>(units.size()) - 1))];
}

Request RequestMix::frame(std::uint8_t fn, std::time_t now) {
    Draw draw(random);
    Request request;
    request.kind = fn == 0x83 ? MessageKind::TimeRequest : MessageKind::Frame;
    // A time request changes nothing, so any unit will do; every other frame writes its unit.
    request.unit = fn == 0x83 ? anyUnit(false) : ownUnit(false);
    BuiltFrame built = buildFrame(fn, request.unit, rtuTimestamp(now), frameValues(fn, draw, options.checkValues));
    request.bytes.assign(built.bytes.begin(), built.bytes.end());
    request.effects = std::move(built.effects);
    request.readings = built.readings;
    if (fn == 0x83) request.replies.push_back({ExpectedReply::Kind::TimeReply, {}, {}, unitText(request.unit)});
    if (options.expectEcho) {
        Bytes echo(request.bytes.begin(), request.bytes.begin() + static_cast<std::ptrdiff_t>(built.echoLength));
        request.replies.push_back({ExpectedReply::Kind::FrameEcho, std::move(echo), {}, {}});
    }
    return request;
}

Request RequestMix::modbusRead(std::uint8_t fn) {
    Draw draw(random);
    ReadRequest read{nextTransaction(), static_cast<std::uint8_t>(anyUnit(true)), fn, 0, 0};
    const bool firstWindow = draw.coin();
    const int maxRegisters = static_cast<int>(options.maxRegisters);
    if (fn == 0x01) {
        const int start = draw.between(0, 31);
        read.address = static_cast<std::uint16_t>((firstWindow ? kDinWindow : kDoutWindow) + start);
        // Past DOUT31 the DOUT window has no defined source, so reads stay inside it.
        read.quantity = static_cast<std::uint16_t>(draw.between(1, firstWindow ? kMaxBits : 32 - start));
    } else {
        read.address = static_cast<std::uint16_t>(firstWindow ? kAinWindow + draw.between(0, 7)
                                                              : kRegisterWindow + draw.between(0, 63));
        const int limit = firstWindow ? kMaxAinRegisters : maxRegisters;
        // Float reads come in register pairs: an odd quantity leaves the reply's size ambiguous.
        read.quantity =
            static_cast<std::uint16_t>(fn == 0x04 ? 2 * draw.between(1, limit / 2) : draw.between(1, limit));
    }
    Request request;
    request.kind = MessageKind::ModbusRead;
    request.unit = read.unit;
    request.bytes = readAdu(read);
    request.replies.push_back({ExpectedReply::Kind::ModbusRead, {}, read, {}});
    return request;
}

Request RequestMix::modbusWrite(std::uint8_t fn, std::time_t now) {
    Draw draw(random);
    WriteHeader header{nextTransaction(), static_cast<std::uint8_t>(ownUnit(true)), 0};
    WriteAdu write = randomWrite(fn, header, draw, now);
    Request request;
    request.kind = MessageKind::ModbusWrite;
    request.unit = header.unit;
    Bytes echo(write.bytes.begin(), write.bytes.begin() + static_cast<std::ptrdiff_t>(write.echoLength));
    request.bytes = std::move(write.bytes);
    request.effects = std::move(write.effects);
    request.readings = write.readings;
    request.replies.push_back({ExpectedReply::Kind::ModbusEcho, std::move(echo), {}, {}});
    return request;
}

}  // namespace rtusim
