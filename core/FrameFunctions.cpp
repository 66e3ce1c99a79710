// One handler per RTU I/O frame function, dispatched by function code.
#include <array>
#include <string>
#include <string_view>

#include "core/CoreCounts.h"
#include "core/CounterReport.h"
#include "core/FrameDecoder.h"
#include "core/FrameEffects.h"
#include "core/ParseDecimal.h"
#include "core/TextFormat.h"

namespace {

constexpr std::size_t kStatePos = kPayloadStart;
constexpr std::size_t kNumberPos = kPayloadStart + 1;
constexpr std::size_t kGpsTextPos = 31;

// A frame being read, with the words its handlers speak. Whatever a handler changes goes through
// `effects`, which do nothing while the frame is only measured.
struct Frame {
    IFrameEffects& effects;
    const FrameHeader& header;
    const ChunkView& view;
    const std::tm& now;  // the server's local time when the chunk arrived

    std::uint8_t State(std::size_t pos) const { return static_cast<std::uint8_t>(view.Digit(pos)); }
    bool On(std::size_t pos) const { return view.At(pos) != '0'; }
    void Register(std::uint32_t registerNumber, std::int32_t value, std::uint8_t state) const {
        effects.Register(registerNumber, value, state);
    }
    void Coil(std::uint32_t registerNumber, std::int32_t value, std::uint8_t state) const {
        effects.Coil(registerNumber, value, state);
    }
};

using Handler = std::size_t (*)(const Frame&);

std::int32_t Scaled(double number, double scale) { return TruncScaledDecimal(number * scale, kDoubleDecimalError); }

// List items: a state character, a number, one separator character. Only the items that arrived
// are applied, whatever the count says. Returns the position after the last separator.
template <class Apply>
std::size_t ForEachListItem(const Frame& f, Apply apply) {
    std::size_t k = kPayloadStart;
    for (std::uint32_t i = 0; i < f.header.channel && k < f.view.Size(); ++i) {
        const std::uint8_t state = f.State(k);
        const DecimalNumber number = ParseDecimal(f.view, k + 1);
        apply(i, number.value, state);
        k += 1 + number.length + 1;
    }
    return k;
}

std::size_t OneValue(const Frame& f, std::uint32_t registerNumber, double scale) {
    const DecimalNumber number = ParseDecimal(f.view, kNumberPos);
    f.Register(registerNumber, Scaled(number.value, scale), f.State(kStatePos));
    return kNumberPos + number.length;
}

template <std::uint32_t kBase, int kScale>
std::size_t ChannelValue(const Frame& f) {
    return OneValue(f, kBase + f.header.channel, kScale);
}

// Counters 4..7 come in on channel 1 of this function: register 1304 + 4 x channel.
std::size_t CounterValue(const Frame& f) { return OneValue(f, 1304 + 4u * f.header.channel, 100); }

std::size_t PowerSignalTemperature(const Frame& f) {
    f.Register(1103, f.view.At(30) == '0' ? 1 : 0, 0);
    const char signal[5] = {static_cast<char>(f.view.At(31)), static_cast<char>(f.view.At(32)),
                            static_cast<char>(f.view.At(33)), static_cast<char>(f.view.At(34)), '\0'};
    f.Register(1102, ReadLeadingInt(signal), 0);
    const DecimalNumber number = ParseDecimal(f.view, 35);
    f.Register(1101, Scaled(number.value, 100), 0);
    return 35 + number.length;
}

std::size_t DigitalInput(const Frame& f) {
    f.Coil(1001u + f.header.channel, f.On(kStatePos), f.State(kStatePos));
    return kPayloadStart;
}

std::size_t PowerState(const Frame& f) {
    f.Register(1103, f.view.At(kStatePos) == '0' ? 1 : 0, f.State(kStatePos));
    return kPayloadStart;
}

template <std::uint32_t kBase>
std::size_t InputStates(const Frame& f) {
    for (std::uint32_t i = 0; i < f.header.channel && kPayloadStart + i < f.view.Size(); ++i) {
        f.Coil(kBase + i, f.On(kPayloadStart + i), f.State(kPayloadStart + i));
    }
    return kPayloadStart;
}

template <std::uint32_t kBase, int kScale>
std::size_t ListValues(const Frame& f) {
    return ForEachListItem(f, [&f](std::uint32_t i, double number, std::uint8_t state) {
        f.Register(kBase + i, Scaled(number, kScale), state);
    });
}

// Type "C": a coil with one digit d, stored as d x 100; type "R": a register with a number.
std::size_t ModbusValue(const Frame& f) {
    const std::uint8_t type = f.view.At(kPayloadStart);
    const std::uint32_t registerNumber = 1201u + f.header.channel;
    if (type == 'C') f.Coil(registerNumber, f.view.Digit(31) * 100, f.State(30));
    if (type != 'R') return kPayloadStart;
    const DecimalNumber number = ParseDecimal(f.view, 31);
    f.Register(registerNumber, Scaled(number.value, 100), f.State(30));
    return 31 + number.length;
}

// Items "<two-digit index><C|R><state><value>" each followed by one separator, until a type
// character that is neither, or the frame's end mark where an index would be: the bytes after it
// are the next message's, never an item. The end of the chunk reads as zero and ends the list at
// the latest.
std::size_t ModbusList(const Frame& f) {
    std::size_t k = kPayloadStart;
    for (;;) {
        const std::uint8_t type = f.view.At(k + 2);
        if (type != 'C' && type != 'R') return k;
        if (f.view.At(k) == '$' || f.view.At(k + 1) == '$') return k;
        const int index = f.view.TwoDigits(k);
        const std::uint32_t registerNumber = static_cast<std::uint32_t>(1201 + index);
        const std::uint8_t state = f.State(k + 3);
        if (type == 'C') {
            f.Coil(registerNumber, f.view.Digit(k + 4) * 100, state);
            k += 6;
            continue;
        }
        const DecimalNumber number = ParseDecimal(f.view, k + 4);
        f.Register(registerNumber, Scaled(number.value, 100), state);
        k += 4 + number.length + 1;
    }
}

std::size_t CounterReportFrame(const Frame& f) {
    std::string line =
        Format("%s,%s", PrintableText(f.header.unitText).c_str(), PrintableText(f.header.timestamp).c_str());
    const std::size_t end = ForEachListItem(f, [&](std::uint32_t i, double number, std::uint8_t state) {
        f.Register(1301 + i, Scaled(number, 100), state);
        line += Format("%.2f,", number);
    });
    const GpsPosition position = ScanGpsPosition(f.view, end);
    line += Format("%.6f,%.6f\r\n", position.latitude, position.longitude);
    f.effects.CountersLine(line);
    return end;
}

// A text payload runs up to the frame's end mark; without one, to the end of the chunk.
std::string_view TextPayload(const Frame& f, std::size_t pos) {
    const std::string_view text = f.view.TextFrom(pos);
    return text.substr(0, text.find('$'));
}

std::size_t GpsText(const Frame& f) {
    f.effects.Gps(std::string(TextPayload(f, kGpsTextPos)));
    return kGpsTextPos;
}

std::size_t RegistrationText(const Frame& f) {
    f.effects.Registration(std::string(TextPayload(f, kPayloadStart)));
    return kPayloadStart;
}

// The server's local time, in the RTU's own frame syntax.
std::size_t TimeReply(const Frame& f) {
    const std::tm& now = f.now;
    f.effects.Reply(Format("$%sSC83%2.2d/%2.2d/%2.2d %2.2d:%2.2d$", f.header.unitText, now.tm_year - 100,
                           now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min));
    return kPayloadStart;
}

constexpr std::array<Handler, 256> MakeHandlers() {
    std::array<Handler, 256> h{};
    h[0x00] = h[0x01] = &PowerSignalTemperature;
    h[0x02] = &DigitalInput;
    h[0x03] = &PowerState;
    h[0x10] = &ChannelValue<1001, 10>;
    h[0x11] = &ChannelValue<1101, 100>;
    h[0x18] = &ChannelValue<1401, 100>;
    h[0x19] = &CounterValue;
    h[0x20] = &InputStates<1001>;
    h[0x21] = &InputStates<1101>;
    h[0x22] = &ListValues<1001, 10>;
    h[0x31] = &ModbusValue;
    h[0x32] = &CounterReportFrame;
    h[0x33] = &ListValues<1501, 100>;
    h[0x35] = &GpsText;
    h[0x36] = &ChannelValue<1800, 100>;
    h[0x41] = &ModbusList;
    h[0x43] = &ChannelValue<1501, 100>;
    h[0x45] = &RegistrationText;
    h[0x48] = &ChannelValue<1301, 100>;
    h[0x83] = &TimeReply;
    return h;
}

constexpr std::array<Handler, 256> kHandlers = MakeHandlers();

}  // namespace

std::size_t RunFrameFunction(ChunkContext& ctx, const FrameHeader& header, const ChunkView& frame) {
    const Handler handler = kHandlers[header.fn];
    CountReport(ctx.core.Table(), ctx.reply, ReportKind::kFrame, header.unitId, handler != nullptr);
    if (!handler) {
        unknowCount.fetch_add(1, std::memory_order_relaxed);
        return kPayloadStart;
    }
    AppliedFrame effects(ctx, header);
    return handler(Frame{effects, header, frame, ctx.now});
}

std::size_t MeasureFrameFunction(ChunkContext& ctx, const FrameHeader& header, const ChunkView& frame) {
    const Handler handler = kHandlers[header.fn];
    MeasuredFrame effects;
    return handler ? handler(Frame{effects, header, frame, ctx.now}) : kPayloadStart;
}
