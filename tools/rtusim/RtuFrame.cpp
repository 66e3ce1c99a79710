#include "tools/rtusim/RtuFrame.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace rtusim {

namespace {

// The frame part after the header: what the server parses (and echoes) and what it ignores.
struct Payload {
    std::string text;
    std::size_t parsed = 0;  // bytes the server's parse position moves over
    Effects effects;
    unsigned readings = 0;
};

// Only whole numbers are predicted: trunc(number × scale) of a two-decimal text may lose one unit.
std::optional<std::int64_t> scaledWhole(std::int64_t hundredths, std::int64_t scale) {
    if (hundredths % 100 != 0) return std::nullopt;
    return hundredths / 100 * scale;
}

char stateChar(const std::vector<bool>& states, std::size_t i) { return i < states.size() && states[i] ? '1' : '0'; }

std::int64_t numberAt(const std::vector<std::int64_t>& numbers, std::size_t i) {
    return i < numbers.size() ? numbers[i] : 0;
}

// The register number and scale of the single-value functions.
struct SingleTarget {
    std::uint32_t registerNumber;
    std::int64_t scale;
};

SingleTarget singleTarget(std::uint8_t fn, std::uint16_t channel) {
    switch (fn) {
        case 0x10:
            return {1001u + channel, 10};
        case 0x11:
            return {1101u + channel, 100};
        case 0x18:
            return {1401u + channel, 100};
        case 0x19:
            return {1304u + 4u * channel, 100};
        case 0x36:
            return {1800u + channel, 100};
        case 0x43:
            return {1501u + channel, 100};
        default:
            return {1301u + channel, 100};  // 0x48
    }
}

Payload powerPayload(const FrameValues& v) {
    char signal[16];
    std::snprintf(signal, sizeof signal, "%04d", v.signal % 10000);
    Payload p;
    p.text = std::string("0") + stateChar(v.states, 0) + signal + decimalText(numberAt(v.numbers, 0));
    p.parsed = p.text.size();
    // Battery (1103: 1 when the power character is "0") and signal (1102) are recorded too, but
    // their values are not readable.
    recordReading(1103, p.text[1] == '0' ? 1 : 0);
    recordReading(1102, v.signal % 10000);
    p.readings = 2 + addRegisterEffect(p.effects, 1101, scaledWhole(numberAt(v.numbers, 0), 100));
    return p;
}

Payload singlePayload(std::uint8_t fn, const FrameValues& v) {
    Payload p;
    p.text = stateChar(v.states, 0) + decimalText(numberAt(v.numbers, 0));
    p.parsed = p.text.size();
    const SingleTarget target = singleTarget(fn, v.channel);
    p.readings = addRegisterEffect(p.effects, target.registerNumber, scaledWhole(numberAt(v.numbers, 0), target.scale));
    return p;
}

Payload bitListPayload(std::uint32_t base, const FrameValues& v) {
    Payload p;
    for (std::size_t i = 0; i < v.states.size(); ++i) {
        p.text += stateChar(v.states, i);
        p.readings += addCoilEffect(p.effects, base + static_cast<std::uint32_t>(i), v.states[i]);
    }
    return p;
}

Payload numberListPayload(std::uint32_t base, std::int64_t scale, const FrameValues& v) {
    Payload p;
    for (std::size_t i = 0; i < v.numbers.size(); ++i) {
        p.text += stateChar(v.states, i) + decimalText(v.numbers[i]) + ",";
        p.readings +=
            addRegisterEffect(p.effects, base + static_cast<std::uint32_t>(i), scaledWhole(v.numbers[i], scale));
    }
    p.parsed = p.text.size();
    return p;
}

// A GPS sentence whose latitude and longitude the server can pick out: a six-character name with
// its comma, the latitude, the hemisphere, the longitude and a closing comma.
std::string gpsText(std::int64_t hundredths) {
    return "GPGGA,2232." + std::to_string(1000 + (hundredths % 9000 + 9000) % 9000) + ",N,11403.5678,E";
}

// One "C" or "R" item of FN 0x31 (without register index) and FN 0x41 (with one).
void addModbusItem(Payload& p, const FrameValues& v, std::size_t i, std::uint16_t index) {
    const bool coil = i < v.coils.size() && v.coils[i];
    p.text += coil ? "C" : "R";
    p.text += stateChar(v.states, i);
    if (coil) {
        p.text += static_cast<char>('0' + (i < v.digits.size() ? v.digits[i] % 10 : 0));
        p.readings += addCoilEffect(p.effects, 1201u + index, true);
    } else {
        p.text += decimalText(numberAt(v.numbers, i));
        p.readings += addRegisterEffect(p.effects, 1201u + index, scaledWhole(numberAt(v.numbers, i), 100));
    }
}

Payload modbusValuePayload(const FrameValues& v) {
    Payload p;
    addModbusItem(p, v, 0, v.channel);
    p.parsed = v.coils.empty() || !v.coils[0] ? p.text.size() : 0;
    return p;
}

Payload modbusListPayload(const FrameValues& v) {
    Payload p;
    for (std::size_t i = 0; i < v.indexes.size(); ++i) {
        char index[8];
        std::snprintf(index, sizeof index, "%02u", static_cast<unsigned>(v.indexes[i] % 100));
        p.text += index;
        addModbusItem(p, v, i, v.indexes[i]);
        p.text += ",";
    }
    p.parsed = p.text.size();
    return p;
}

std::uint16_t listCount(std::uint8_t fn, const FrameValues& v) {
    switch (fn) {
        case 0x20:
        case 0x21:
            return static_cast<std::uint16_t>(v.states.size());
        case 0x22:
        case 0x32:
        case 0x33:
            return static_cast<std::uint16_t>(v.numbers.size());
        default:
            return v.channel;
    }
}

Payload payloadFor(std::uint8_t fn, std::uint32_t unitId, const FrameValues& v) {
    switch (fn) {
        case 0x00:
        case 0x01:
            return powerPayload(v);
        case 0x02: {
            Payload p{std::string(1, stateChar(v.states, 0)), 0, {}};
            p.readings = addCoilEffect(p.effects, 1001u + v.channel, stateChar(v.states, 0) != '0');
            return p;
        }
        case 0x03:  // the battery state: 1 when the character is "0"
            recordReading(1103, stateChar(v.states, 0) == '0' ? 1 : 0);
            return {std::string(1, stateChar(v.states, 0)), 0, {}, 1};
        case 0x20:
            return bitListPayload(1001, v);
        case 0x21:
            return bitListPayload(1101, v);
        case 0x22:
            return numberListPayload(1001, 10, v);
        case 0x32: {
            Payload p = numberListPayload(1301, 100, v);
            p.text += gpsText(numberAt(v.numbers, 0));
            return p;
        }
        case 0x33:
            return numberListPayload(1501, 100, v);
        case 0x31:
            return modbusValuePayload(v);
        case 0x35:
            return {"00" + gpsText(numberAt(v.numbers, 0)), 2, {}};
        case 0x41:
            return modbusListPayload(v);
        case 0x45:
            return {"TELVORN RTUSIM " + std::to_string(unitId), 0, {}};
        case 0x83:
            return {};
        default:
            return singlePayload(fn, v);
    }
}

}  // namespace

const std::vector<std::uint8_t>& frameFunctions() {
    static const std::vector<std::uint8_t> functions{0x00, 0x01, 0x02, 0x03, 0x10, 0x11, 0x18, 0x19, 0x20, 0x21, 0x22,
                                                     0x31, 0x32, 0x33, 0x35, 0x36, 0x41, 0x43, 0x45, 0x48, 0x83};
    return functions;
}

bool isFrameFunction(std::uint8_t fn) {
    for (std::uint8_t known : frameFunctions())
        if (known == fn) return true;
    return false;
}

std::string decimalText(std::int64_t hundredths) {
    const std::uint64_t magnitude = hundredths < 0 ? 0 - static_cast<std::uint64_t>(hundredths) : hundredths;
    char text[32];
    std::snprintf(text, sizeof text, "%s%llu.%02llu", hundredths < 0 ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 100), static_cast<unsigned long long>(magnitude % 100));
    return text;
}

std::string rtuTimestamp(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", (local.tm_year + 1900) % 10000, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string frameText(std::uint32_t unitId, std::uint8_t fn, std::uint16_t channel, std::string_view timestamp,
                      std::string_view payload) {
    char head[32];
    std::snprintf(head, sizeof head, "$%08u00%02X", unitId % 100000000u, static_cast<unsigned>(fn));
    std::string frame(head);
    frame.append(timestamp.substr(0, 14));
    frame.append(14 - std::min<std::size_t>(14, timestamp.size()), '0');
    frame += static_cast<char>('0' + channel / 10);
    frame += static_cast<char>('0' + channel % 10);
    frame.append(payload);
    frame += '$';
    return frame;
}

BuiltFrame buildFrame(std::uint8_t fn, std::uint32_t unitId, std::string_view timestamp, const FrameValues& values) {
    Payload payload = payloadFor(fn, unitId, values);
    BuiltFrame frame;
    frame.bytes = frameText(unitId, fn, listCount(fn, values), timestamp, payload.text);
    frame.echoLength = kFrameHeaderSize + payload.parsed;
    frame.effects = std::move(payload.effects);
    frame.readings = payload.readings;
    return frame;
}

}  // namespace rtusim
