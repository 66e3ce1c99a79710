#include "tools/rtusim/ModbusWriteMix.h"

#include <algorithm>
#include <array>
#include <bit>

namespace rtusim {

namespace {

// Readable areas by start address, with the number of registers each holds.
struct Target {
    std::uint16_t address;
    int size;
    int scale;  // the integer that lands as a whole value: AIN × 10, temperature and registers × 100
};

constexpr Target kDin{1000, 8, 1};
constexpr Target kDout{1100, 8, 1};
constexpr Target kCoils{1200, 33, 1};
constexpr Target kAin{1000, 8, 10};
constexpr Target kItemp{1100, 1, 100};
constexpr Target kRegisters{1200, 33, 100};

// A start inside the area and a quantity that stays inside it, at most limit.
std::pair<std::uint16_t, int> span(const Target& area, int limit, Draw& draw) {
    const int start = draw.between(0, area.size - 1);
    const int count = draw.between(1, std::min(limit, area.size - start));
    return {static_cast<std::uint16_t>(area.address + start), count};
}

const Target& bitArea(Draw& draw) {
    static const Target* kAreas[] = {&kDin, &kDout, &kCoils};
    return *kAreas[draw.between(0, 2)];
}

const Target& numberArea(Draw& draw, bool withTemperature) {
    static const Target* kAreas[] = {&kAin, &kRegisters, &kItemp};
    return *kAreas[draw.between(0, withTemperature ? 2 : 1)];
}

std::array<std::uint8_t, 6> stamp(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    return {static_cast<std::uint8_t>(local.tm_year % 100), static_cast<std::uint8_t>(local.tm_mon + 1),
            static_cast<std::uint8_t>(local.tm_mday),       static_cast<std::uint8_t>(local.tm_hour),
            static_cast<std::uint8_t>(local.tm_min),        static_cast<std::uint8_t>(local.tm_sec)};
}

WriteAdu coils(WriteHeader header, Draw& draw) {
    const auto [address, count] = span(bitArea(draw), 8, draw);
    header.address = address;
    std::vector<bool> bits;
    for (int i = 0; i < count; ++i) bits.push_back(draw.coin());
    return writeMultipleCoils(header, bits);
}

// Fn 0x10 scales register-area values itself, so they go out unscaled there.
WriteAdu registers(WriteHeader header, Draw& draw) {
    const Target& area = numberArea(draw, false);
    const auto [address, count] = span(area, 8, draw);
    header.address = address;
    std::vector<std::int16_t> values;
    const int scale = area.address == kRegisters.address ? 1 : area.scale;
    for (int i = 0; i < count; ++i) values.push_back(static_cast<std::int16_t>(draw.wholeValue() * scale));
    return writeMultipleRegisters(header, values);
}

// Fn 0x23 values are multiplied by 100 before they are stored, so an AIN float of x lands as 10 x.
WriteAdu timed(WriteHeader header, Draw& draw, std::time_t now) {
    const bool bitsWrite = draw.coin();
    const Target& area = bitsWrite ? bitArea(draw) : numberArea(draw, true);
    const auto [address, count] = span(area, 4, draw);
    header.address = address;
    std::vector<TimedItem> items;
    for (int i = 0; i < count; ++i) {
        if (bitsWrite) {
            items.push_back({0, draw.coin() ? 1u : 0u});
        } else {
            const int value = area.address == kAin.address ? draw.between(-30, 30) : draw.wholeValue();
            items.push_back({3, std::bit_cast<std::uint32_t>(static_cast<float>(value))});
        }
    }
    return writeTimedValues(header, stamp(now), items);
}

WriteAdu longRegisters(WriteHeader header, Draw& draw) {
    const Target& area = numberArea(draw, false);
    const auto [address, count] = span(area, 4, draw);
    header.address = address;
    std::vector<std::int32_t> values;
    for (int i = 0; i < count; ++i) values.push_back(draw.wholeValue() * area.scale);
    return writeLongRegisters(header, values);
}

WriteAdu longRegister(WriteHeader header, Draw& draw) {
    const Target& area = numberArea(draw, true);
    header.address = span(area, 1, draw).first;
    const int scale = area.address == kRegisters.address ? 1 : area.scale;  // fn 0x86 scales registers itself
    return writeLongRegister(header, draw.wholeValue() * scale);
}

}  // namespace

WriteAdu randomWrite(std::uint8_t fn, WriteHeader header, Draw& draw, std::time_t now) {
    switch (fn) {
        case 0x05: {
            header.address = span(bitArea(draw), 1, draw).first;
            return writeSingleCoil(header, draw.coin());
        }
        case 0x06: {
            const Target& area = numberArea(draw, true);
            header.address = span(area, 1, draw).first;
            return writeSingleRegister(header, static_cast<std::int16_t>(draw.wholeValue() * area.scale));
        }
        case 0x0f:
            return coils(header, draw);
        case 0x10:
            return registers(header, draw);
        case 0x23:
            return timed(header, draw, now);
        case 0x80:
            return longRegisters(header, draw);
        default:
            return longRegister(header, draw);
    }
}

}  // namespace rtusim
