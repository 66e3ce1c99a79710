#include "tools/rtusim/ModbusAdu.h"

#include <bit>
#include <cmath>

namespace rtusim {

namespace {

void put16(Bytes& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value & 0xff));
}

void put32(Bytes& bytes, std::uint32_t value) {
    put16(bytes, value >> 16);
    put16(bytes, value & 0xffff);
}

// Transaction id, protocol id 0, a length placeholder, unit id, function code and start address.
Bytes header(const WriteHeader& h, std::uint8_t fn) {
    Bytes bytes;
    put16(bytes, h.transaction);
    put16(bytes, 0);
    put16(bytes, 0);
    bytes.push_back(h.unit);
    bytes.push_back(fn);
    put16(bytes, h.address);
    return bytes;
}

WriteAdu finish(Bytes bytes, std::size_t echoLength, Effects effects, unsigned readings) {
    const std::size_t length = bytes.size() - kMbapSize;
    bytes[4] = static_cast<std::uint8_t>(length >> 8);
    bytes[5] = static_cast<std::uint8_t>(length & 0xff);
    return {std::move(bytes), echoLength, std::move(effects), readings};
}

// Fn 0x10 and 0x86 scale register-area values by 100 so that they land unscaled.
bool inRegisterArea(std::uint32_t address, std::uint32_t last) { return address >= 1200 && address <= last; }

}  // namespace

const std::vector<std::uint8_t>& modbusReadFunctions() {
    static const std::vector<std::uint8_t> functions{0x01, 0x03, 0x04};
    return functions;
}

const std::vector<std::uint8_t>& modbusWriteFunctions() {
    static const std::vector<std::uint8_t> functions{0x05, 0x06, 0x0f, 0x10, 0x23, 0x80, 0x86};
    return functions;
}

bool isModbusFunction(std::uint8_t fn) {
    for (const auto* list : {&modbusReadFunctions(), &modbusWriteFunctions()})
        for (std::uint8_t known : *list)
            if (known == fn) return true;
    return false;
}

Bytes readAdu(const ReadRequest& r) {
    Bytes bytes = header({r.transaction, r.unit, r.address}, r.fn);
    put16(bytes, r.quantity);
    return finish(std::move(bytes), 0, {}, 0).bytes;
}

std::size_t readReplySize(const ReadRequest& r) {
    if (r.fn == 0x01) return 9u + (r.quantity + 7u) / 8u;
    return 9u + 2u * r.quantity;
}

WriteAdu writeSingleCoil(const WriteHeader& h, bool on) {
    Bytes bytes = header(h, 0x05);
    put16(bytes, on ? 0xff00 : 0x0000);
    Effects effects;
    const unsigned readings = addCoilEffect(effects, h.address + 1u, on);
    return finish(std::move(bytes), 12, std::move(effects), readings);
}

WriteAdu writeSingleRegister(const WriteHeader& h, std::int16_t value) {
    Bytes bytes = header(h, 0x06);
    put16(bytes, static_cast<std::uint16_t>(value));
    Effects effects;
    const unsigned readings = addRegisterEffect(effects, h.address + 1u, value);
    return finish(std::move(bytes), 12, std::move(effects), readings);
}

WriteAdu writeMultipleCoils(const WriteHeader& h, const std::vector<bool>& bits) {
    Bytes bytes = header(h, 0x0f);
    put16(bytes, static_cast<std::uint32_t>(bits.size()));
    const std::size_t count = (bits.size() + 7) / 8;
    bytes.push_back(static_cast<std::uint8_t>(count));
    bytes.resize(bytes.size() + count, 0);
    Effects effects;
    unsigned readings = 0;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (bits[i]) bytes[13 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        readings += addCoilEffect(effects, h.address + 1u + static_cast<std::uint32_t>(i), bits[i]);
    }
    return finish(std::move(bytes), 13 + count, std::move(effects), readings);
}

WriteAdu writeMultipleRegisters(const WriteHeader& h, const std::vector<std::int16_t>& values) {
    Bytes bytes = header(h, 0x10);
    put16(bytes, static_cast<std::uint32_t>(values.size()));
    bytes.push_back(static_cast<std::uint8_t>(2 * values.size()));
    Effects effects;
    unsigned readings = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        put16(bytes, static_cast<std::uint16_t>(values[i]));
        const std::uint32_t address = h.address + static_cast<std::uint32_t>(i);
        const std::int64_t scale = inRegisterArea(address, 1233) ? 100 : 1;
        readings += addRegisterEffect(effects, address + 1, values[i] * scale);
    }
    return finish(std::move(bytes), 13 + 2 * values.size(), std::move(effects), readings);
}

WriteAdu writeTimedValues(const WriteHeader& h, const std::array<std::uint8_t, 6>& stamp,
                          const std::vector<TimedItem>& items) {
    Bytes bytes = header(h, 0x23);
    put16(bytes, static_cast<std::uint32_t>(items.size()));
    bytes.insert(bytes.end(), stamp.begin(), stamp.end());
    Effects effects;
    unsigned readings = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        bytes.push_back(items[i].type);
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(items[i].raw >> shift));
        const std::uint32_t registerNumber = h.address + 1u + static_cast<std::uint32_t>(i);
        if (items[i].type == 0) readings += addCoilEffect(effects, registerNumber, items[i].raw != 0);
        if (items[i].type != 3) continue;
        const double value = std::bit_cast<float>(items[i].raw);
        const bool whole = std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e6;
        readings += addRegisterEffect(
            effects, registerNumber,
            whole ? std::optional<std::int64_t>(static_cast<std::int64_t>(value) * 100) : std::nullopt);
    }
    return finish(std::move(bytes), 12, std::move(effects), readings);
}

WriteAdu writeLongRegisters(const WriteHeader& h, const std::vector<std::int32_t>& values) {
    Bytes bytes = header(h, 0x80);
    put16(bytes, static_cast<std::uint32_t>(values.size()));
    bytes.push_back(static_cast<std::uint8_t>(4 * values.size()));
    Effects effects;
    unsigned readings = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        put32(bytes, static_cast<std::uint32_t>(values[i]));
        readings += addRegisterEffect(effects, h.address + 1u + static_cast<std::uint32_t>(i), values[i]);
    }
    return finish(std::move(bytes), 13 + 4 * values.size(), std::move(effects), readings);
}

WriteAdu writeLongRegister(const WriteHeader& h, std::int32_t value) {
    Bytes bytes = header(h, 0x86);
    put32(bytes, static_cast<std::uint32_t>(value));
    Effects effects;
    const std::int64_t scale = inRegisterArea(h.address, 1232) ? 100 : 1;
    const unsigned readings = addRegisterEffect(effects, h.address + 1u, value * scale);
    return finish(std::move(bytes), 14, std::move(effects), readings);
}

}  // namespace rtusim
