#include "tests/tools/rtusim/PeerTable.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

std::uint16_t word(const PeerTable::Bytes& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

std::int32_t long32(const PeerTable::Bytes& bytes, std::size_t at) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(word(bytes, at)) << 16 | word(bytes, at + 2));
}

// A decimal with two places from position p on, leaving p after it.
double decimal(const PeerTable::Bytes& f, std::size_t& p) {
    std::size_t dot = p;
    while (dot < f.size() && f[dot] != '.') ++dot;
    const std::size_t end = std::min(f.size(), dot + 3);
    const double value = std::strtod(
        std::string(f.begin() + static_cast<std::ptrdiff_t>(p), f.begin() + static_cast<std::ptrdiff_t>(end)).c_str(),
        nullptr);
    p = end;
    return value;
}

std::int32_t scaled(double value, double scale) { return static_cast<std::int32_t>(std::trunc(value * scale)); }

}  // namespace

void PeerTable::coil(std::uint32_t unit, std::uint32_t r, std::int32_t v) {
    UnitValues& u = units[unit];
    const auto low = static_cast<std::uint8_t>(v & 0xff);
    if (r >= 1001 && r <= 1008) u.din[r - 1001] = low;
    if (r >= 1101 && r <= 1108) u.dout[r - 1101] = low;
    if (r >= 1201 && r <= 1233) u.reg[r - 1201] = low;
}

void PeerTable::number(std::uint32_t unit, std::uint32_t r, std::int32_t v) {
    UnitValues& u = units[unit];
    if (r >= 1001 && r <= 1008) u.ain[r - 1001] = static_cast<float>(v * 0.1);
    if (r == 1101) u.itemp = static_cast<float>(v * 0.01);
    if (r >= 1201 && r <= 1233) u.reg[r - 1201] = static_cast<float>(v * 0.01);
}

void PeerTable::applyFrame(const Bytes& f) {
    const auto unit = static_cast<std::uint32_t>(std::atoi(std::string(f.begin() + 1, f.begin() + 9).c_str()));
    const int fn = ((f[11] << 4) | (f[12] - '0')) & 0xff;
    const unsigned channel = static_cast<unsigned>((f[27] - '0') * 10 + (f[28] - '0'));
    std::size_t p = 29;
    switch (fn) {
        case 0x00:
        case 0x01:
            p = 35;
            return number(unit, 1101, scaled(decimal(f, p), 100));
        case 0x02:
            return coil(unit, 1001 + channel, f[29] != '0');
        case 0x10:
            ++p;
            return number(unit, 1001 + channel, scaled(decimal(f, p), 10));
        case 0x11:
            ++p;
            return number(unit, 1101 + channel, scaled(decimal(f, p), 100));
        case 0x20:
        case 0x21:
            for (unsigned i = 0; i < channel; ++i) coil(unit, (fn == 0x20 ? 1001 : 1101) + i, f[29 + i] != '0');
            return;
        case 0x22:
            for (unsigned i = 0; i < channel; ++i, ++p) number(unit, 1001 + i, scaled(decimal(f, ++p), 10));
            return;
        case 0x31:
            if (f[29] == 'C') return coil(unit, 1201 + channel, (f[31] - '0') * 100);
            p = 31;
            return number(unit, 1201 + channel, scaled(decimal(f, p), 100));
        case 0x41:
            while (p + 4 < f.size() && (f[p + 2] == 'C' || f[p + 2] == 'R')) {
                const unsigned index = static_cast<unsigned>((f[p] - '0') * 10 + (f[p + 1] - '0'));
                if (f[p + 2] == 'C') {
                    coil(unit, 1201 + index, (f[p + 4] - '0') * 100);
                    p += 6;
                } else {
                    p += 4;
                    number(unit, 1201 + index, scaled(decimal(f, p), 100));
                    ++p;
                }
            }
            return;
        default:
            return;
    }
}

void PeerTable::applyWrite(const Bytes& a) {
    const std::uint32_t unit = a[6], first = word(a, 8) + 1u;
    const unsigned count = word(a, 10);
    switch (a[7]) {
        case 0x05:
            return coil(unit, first, word(a, 10) != 0);
        case 0x06:
            return number(unit, first, static_cast<std::int16_t>(word(a, 10)));
        case 0x0f:
            for (unsigned i = 0; i < count; ++i) coil(unit, first + i, (a[13 + i / 8] >> (i % 8)) & 1);
            return;
        case 0x10:
            for (unsigned i = 0; i < count; ++i) {
                const std::int32_t v = static_cast<std::int16_t>(word(a, 13 + 2 * i));
                number(unit, first + i, first + i >= 1201 && first + i <= 1234 ? v * 100 : v);
            }
            return;
        case 0x23:
            for (unsigned i = 0; i < count; ++i) {
                const std::size_t at = 18 + 5 * i;
                const std::uint32_t raw =
                    a[at + 1] | a[at + 2] << 8 | a[at + 3] << 16 | static_cast<std::uint32_t>(a[at + 4]) << 24;
                if (a[at] == 0) coil(unit, first + i, raw != 0);
                if (a[at] == 3) number(unit, first + i, scaled(std::bit_cast<float>(raw), 100));
            }
            return;
        case 0x80:
            for (unsigned i = 0; i < count; ++i) number(unit, first + i, long32(a, 13 + 4 * i));
            return;
        case 0x86:
            return number(unit, first, long32(a, 10) * (first >= 1201 && first <= 1233 ? 100 : 1));
        default:
            return;
    }
}

bool PeerTable::bitAt(std::uint32_t unit, std::uint16_t address, unsigned p) {
    const UnitValues& u = units[unit];
    if (address >= 1100) return p < 32 && u.dout[p];
    return p < 32 ? u.din[p] != 0 : p < 64 && u.dout[p - 32] != 0;
}

float PeerTable::valueAt(std::uint32_t unit, std::uint16_t address, unsigned p) {
    const UnitValues& u = units[unit];
    if (address < 1200) return p < 32 ? u.ain[p] : p == 32 ? u.itemp : 0.0f;
    return p < 256 ? u.reg[p] : 0.0f;
}
