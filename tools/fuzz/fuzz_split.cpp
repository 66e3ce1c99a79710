// libFuzzer target: one connection's byte stream cut into receives of any size. The input chooses
// a stream of well-formed RTU I/O frames and Modbus/TCP ADUs in any order (transaction ids 0x24xx
// among them, whose first byte is "$"; now and then a frame's end mark twice), and where the
// receives end; the readings applied and the replies sent through ReceiveStream must equal those
// of the same stream decoded whole, and the writes acknowledged must be exactly the writes sent,
// in order: no byte sequence makes a write of what was never sent as one. A stream may carry an
// ADU header that lies about its extent between two such streams: it must take nothing with it,
// so the result equals the two streams decoded each on its own. Inputs whose first choice is "raw"
// feed their own bytes instead, cut likewise, and check only that the stream never holds more
// than one receive.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/ReceiveStream.h"
#include "core/TelemetryCore.h"
#include "core/TextFormat.h"
#include "tools/bench/NullSinks.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kUnits[] = {1, 2, 5, 123};
constexpr std::size_t kMaxStream = 4096;
// The input's first choice (its last byte): bit 0 its own bytes, else bit 1 a lying ADU header.
constexpr std::uint8_t kRawMode = 1;
constexpr std::uint8_t kLyingMode = 2;

// What a decoder did: every history row and every reply; the live table is compared at the end.
struct Record : IHistoryWriter, IReplyPath {
    std::vector<std::string> rows;
    std::vector<Bytes> sends;

    void WriteChannelInt(int unit, const char* channel, int number, int value, const char* rtuTime,
                         std::uint8_t state) override {
        rows.push_back(Format("%d %s%d %d %s %d", unit, channel, number, value, rtuTime, state));
    }
    void WriteChannelFloat(int unit, const char* channel, int number, double value, const char* rtuTime,
                           std::uint8_t state) override {
        rows.push_back(Format("%d %s%d %.6f %s %d", unit, channel, number, value, rtuTime, state));
    }
    bool Send(const std::uint8_t* bytes, std::size_t length) override {
        sends.emplace_back(bytes, bytes + length);
        return true;
    }
    void Release() override {}
};

// A core over a table of the fuzzed units.
struct Decoder {
    Decoder() {
        for (std::size_t i = 0; i < std::size(kUnits); ++i) table.Slot(i).SetUidText(std::to_string(kUnits[i]));
        core.SetRtuTable(table);
        core.SetRawDataList(&list);
        core.SetStatePage(&page);
        core.SetHistoryWriter(&record);
        core.SetCountersPath("/dev/null");
        core.SetClock([] { return std::tm{}; });
    }
    RtuTable table;
    NullRawDataList list;
    NullStatePage page;
    Record record;
    TelemetryCore core;
};

// The channel values of the fuzzed units in both tables are the same.
bool SameTables(const RtuTable& a, const RtuTable& b) {
    for (std::size_t i = 0; i < std::size(kUnits); ++i) {
        const RtuRecord x = a.Slot(i).Snapshot();
        const RtuRecord y = b.Slot(i).Snapshot();
#define TELVORN_SAME(field) (std::memcmp(&x.field, &y.field, sizeof x.field) == 0)
        if (!(TELVORN_SAME(din) && TELVORN_SAME(dout) && TELVORN_SAME(ain) && TELVORN_SAME(itemp) &&
              TELVORN_SAME(signal) && TELVORN_SAME(batt) && TELVORN_SAME(reg) && TELVORN_SAME(regKind) &&
              TELVORN_SAME(etemp) && TELVORN_SAME(ecounter) && TELVORN_SAME(graycode))) {
            return false;
        }
#undef TELVORN_SAME
    }
    return true;
}

std::string Number(FuzzedDataProvider& in) {
    return Format("%s%u.%02u", in.ConsumeBool() ? "-" : "", in.ConsumeIntegralInRange<unsigned>(0, 99999),
                  in.ConsumeIntegralInRange<unsigned>(0, 99));
}

char State(FuzzedDataProvider& in) { return in.ConsumeBool() ? '1' : '0'; }

// The payload of one frame function, from position 29 up to its end mark.
std::string Payload(FuzzedDataProvider& in, const char* fn, int channel) {
    const std::string f(fn);
    if (f == "00") return Format("x%c%04u", State(in), in.ConsumeIntegralInRange<unsigned>(0, 9999)) + Number(in);
    if (f == "02" || f == "03") return std::string(1, State(in));
    if (f == "20" || f == "21") {
        std::string states;
        for (int i = 0; i < channel; ++i) states += State(in);
        return states;
    }
    if (f == "22" || f == "32" || f == "33") {
        std::string items;
        for (int i = 0; i < channel; ++i) items += State(in) + Number(in) + ",";
        return f == "32" ? items + "GPRMC,4807.038,N,01131.000,E," : items;
    }
    if (f == "31")
        return in.ConsumeBool() ? Format("C%c%u", State(in), in.ConsumeIntegralInRange<unsigned>(0, 9))
                                : "R" + std::string(1, State(in)) + Number(in);
    if (f == "35") return "00GPRMC,4807.038,N,01131.000,E,";
    if (f == "41") {
        std::string items;
        for (int i = in.ConsumeIntegralInRange(0, 4); i > 0; --i) {
            const unsigned index = in.ConsumeIntegralInRange<unsigned>(0, 32);
            items += in.ConsumeBool()
                         ? Format("%02uC%c%u,", index, State(in), in.ConsumeIntegralInRange<unsigned>(0, 9))
                         : Format("%02uR%c", index, State(in)) + Number(in) + ",";
        }
        return items;
    }
    if (f == "45") return "REG " + std::to_string(in.ConsumeIntegral<std::uint16_t>());
    if (f == "83") return "";
    return std::string(1, State(in)) + Number(in);  // 10, 11, 18, 19, 36, 43, 48
}

std::string Frame(FuzzedDataProvider& in) {
    static const char* const kFunctions[] = {"00", "02", "03", "10", "11", "18", "19", "20", "21", "22",
                                             "31", "32", "33", "35", "36", "41", "43", "45", "48", "83"};
    const char* fn = kFunctions[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kFunctions) - 1)];
    const int channel = in.ConsumeIntegralInRange(0, 8);
    const int unit = kUnits[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kUnits) - 1)];
    const std::string time = Format("2026120%u%06u", in.ConsumeIntegralInRange<unsigned>(1, 9),
                                    in.ConsumeIntegralInRange<unsigned>(0, 235959));
    return Format("$%08d00%s%s%02d", unit, fn, time.c_str(), channel) + Payload(in, fn, channel) + "$";
}

Bytes Adu(FuzzedDataProvider& in) {
    static const std::uint8_t kCodes[] = {0x01, 0x03, 0x04, 0x05, 0x06, 0x0F, 0x10, 0x23, 0x80, 0x86};
    const std::uint8_t fn = kCodes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCodes) - 1)];
    const std::uint16_t tid =
        in.ConsumeBool() ? 0x2400 | in.ConsumeIntegral<std::uint8_t>() : in.ConsumeIntegral<std::uint16_t>();
    const std::uint16_t address = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint16_t>(999, 1010)
                                                   : in.ConsumeIntegralInRange<std::uint16_t>(1099, 1265);
    const std::uint8_t quantity = in.ConsumeIntegralInRange<std::uint8_t>(0, 40);
    Bytes adu = {static_cast<std::uint8_t>(tid >> 8),
                 static_cast<std::uint8_t>(tid),
                 0,
                 0,
                 0,
                 6,
                 static_cast<std::uint8_t>(kUnits[in.ConsumeIntegralInRange<std::size_t>(0, 2)]),
                 fn,
                 static_cast<std::uint8_t>(address >> 8),
                 static_cast<std::uint8_t>(address),
                 0,
                 quantity};
    // Well-formed: the byte count matches the quantity and the length field the size. (A write
    // reads as many items as its quantity says, past its byte count into whatever follows.)
    std::size_t data = 0;
    if (fn == 0x0F || fn == 0x10 || fn == 0x80) {
        data = fn == 0x0F ? (quantity + 7u) / 8 : (fn == 0x10 ? 2u : 4u) * quantity;
        adu.push_back(static_cast<std::uint8_t>(data));
    } else if (fn == 0x23) {
        data = 6 + 5 * std::size_t{quantity};
    } else if (fn == 0x86) {
        data = 2;
    }
    for (std::size_t i = 0; i < data; ++i) adu.push_back(in.ConsumeIntegral<std::uint8_t>());
    adu[5] = static_cast<std::uint8_t>(adu.size() - 6);
    return adu;
}

// The header of an ADU that can never be well-formed: a count that claims more than Modbus/TCP's
// 260 bytes, or (`mustEnd` set: it is only malformed while cut) a length field that disagrees.
// Its transaction id's low byte is never 0, "C" or "R", nor its timestamp a "$" or a digit, so
// none of it reads as part of a frame before or after it.
Bytes LyingHeader(FuzzedDataProvider& in, bool& mustEnd) {
    static const std::uint8_t kCodes[] = {0x0F, 0x10, 0x23, 0x80};
    const std::uint8_t fn = kCodes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCodes) - 1)];
    mustEnd = in.ConsumeBool();
    const std::uint8_t tidHigh = in.ConsumeBool() ? '$' : in.ConsumeIntegral<std::uint8_t>();
    std::uint8_t tidLow = in.ConsumeIntegralInRange<std::uint8_t>(1, 255);
    if (tidLow == 'C' || tidLow == 'R') tidLow = 1;
    // At least one item: without any, the header is the whole ADU.
    const std::uint16_t count = fn == 0x23 ? (mustEnd ? in.ConsumeIntegralInRange<std::uint16_t>(1, 40)
                                                      : in.ConsumeIntegralInRange<std::uint16_t>(49, 0xFFFF))
                                           : (mustEnd ? in.ConsumeIntegralInRange<std::uint16_t>(1, 200)
                                                      : in.ConsumeIntegralInRange<std::uint16_t>(248, 255));
    const std::size_t extent = fn == 0x23 ? 18 + 5 * std::size_t{count} : 13 + std::size_t{count};
    std::uint16_t length = in.ConsumeIntegral<std::uint16_t>();
    if (mustEnd && length == extent - 6) ++length;
    Bytes header = {tidHigh, tidLow, 0, 0,   static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
                    5,       fn,     4, 0xB0};
    if (fn == 0x23) {
        header.push_back(static_cast<std::uint8_t>(count >> 8));
        header.push_back(static_cast<std::uint8_t>(count));
        for (int i = 0; i < 6; ++i) header.push_back(in.ConsumeIntegralInRange<std::uint8_t>(0, 0x1F));
    } else {
        header.push_back(0);
        header.push_back(1);
        header.push_back(static_cast<std::uint8_t>(count));
    }
    return header;
}

bool IsWrite(std::uint8_t fn) {
    return fn == 0x05 || fn == 0x06 || fn == 0x0F || fn == 0x10 || fn == 0x23 || fn == 0x80 || fn == 0x86;
}

// What a write's acknowledgement echoes: its first bytes, as many as its function says.
Bytes Echo(const Bytes& adu) {
    const std::uint8_t fn = adu[7];
    const std::size_t size = fn == 0x86 ? 14 : (fn == 0x0F || fn == 0x10 || fn == 0x80) ? 13u + adu[12] : 12;
    return Bytes(adu.begin(), adu.begin() + static_cast<std::ptrdiff_t>(size));
}

// The acknowledgements among the replies sent.
std::vector<Bytes> Acknowledgements(const std::vector<Bytes>& sends) {
    std::vector<Bytes> acks;
    for (const Bytes& send : sends) {
        if (send.size() >= 12 && send[2] == 0 && send[3] == 0 && IsWrite(send[7])) acks.push_back(send);
    }
    return acks;
}

// Frames and ADUs in any order. `avoid` gets the cut positions whose decoding differs from the
// whole stream's on purpose; `writes` the acknowledgement each write ADU is to get.
Bytes Stream(FuzzedDataProvider& in, std::set<std::size_t>& avoid, std::vector<Bytes>& writes) {
    Bytes stream;
    bool afterFrame = false;
    bool framesBefore = false;
    for (int messages = in.ConsumeIntegralInRange(0, 24); messages > 0 && stream.size() < kMaxStream; --messages) {
        // A frame's end mark sent twice: the second is a late end mark before the next message.
        if (afterFrame && in.ConsumeIntegralInRange(0, 7) == 0) {
            avoid.insert(stream.size());
            stream.push_back('$');
        }
        if (in.ConsumeBool()) {
            const std::string frame = Frame(in);
            stream.insert(stream.end(), frame.begin(), frame.end());
            afterFrame = framesBefore = true;
            continue;
        }
        // An ADU that starts a receive is the start of a chunk: it carries no frame's timestamp.
        if (framesBefore) avoid.insert(stream.size());
        Bytes adu = Adu(in);
        if (IsWrite(adu[7])) writes.push_back(Echo(adu));
        stream.insert(stream.end(), adu.begin(), adu.end());
        afterFrame = false;
    }
    return stream;
}

// Receive sizes from the input, then from a little generator once the input runs out; `must`
// gets a receive of its own end.
std::vector<std::size_t> Cuts(FuzzedDataProvider& in, std::size_t size, const std::set<std::size_t>& avoid,
                              std::size_t must = 0) {
    std::vector<std::size_t> cuts;
    unsigned seed = in.ConsumeIntegral<unsigned>();
    for (std::size_t at = 0; at < size;) {
        std::size_t piece = in.remaining_bytes() > 0 ? in.ConsumeIntegralInRange<std::size_t>(1, 64)
                                                     : 1 + (seed = seed * 1103515245u + 12345u) % 300;
        if (piece == 64) piece = 1 + (seed = seed * 1103515245u + 12345u) % ReceiveStream::kMaxReceive;
        if (at < must && at + piece > must) piece = must - at;
        at = std::min(size, at + piece);
        while (avoid.count(at) != 0) ++at;
        cuts.push_back(std::min(at, size));
    }
    return cuts;
}

void Feed(Decoder& decoder, ReceiveStream& stream, const Bytes& bytes, const std::vector<std::size_t>& cuts) {
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        stream.Take(bytes.data() + from, cut - from);
        stream.Decode(decoder.core, decoder.record);
        if (stream.Held() > kMaxHeldBytes) std::abort();
        from = cut;
    }
}

// What a failing input did, on standard error, for whoever reproduces it.
void Explain(const Bytes& bytes, const std::vector<std::size_t>& cuts, const Record& whole, const Record& split,
             std::size_t held) {
    std::fprintf(stderr, "stream of %zu bytes, %zu held at the end:\n", bytes.size(), held);
    for (std::uint8_t b : bytes) std::fputc(b >= 0x20 && b < 0x7f ? b : '.', stderr);
    std::fprintf(stderr, "\nin hex:");
    for (std::size_t i = 0; i < bytes.size(); ++i) std::fprintf(stderr, "%s%02x", i % 32 ? " " : "\n", bytes[i]);
    std::fprintf(stderr, "\ncuts:");
    for (std::size_t cut : cuts) std::fprintf(stderr, " %zu", cut);
    std::fprintf(stderr, "\nrows whole %zu, split %zu; sends whole %zu, split %zu\n", whole.rows.size(),
                 split.rows.size(), whole.sends.size(), split.sends.size());
    for (auto& r : whole.rows) std::fprintf(stderr, "W %s\n", r.c_str());
    for (auto& r : split.rows) std::fprintf(stderr, "S %s\n", r.c_str());
    for (std::size_t i = 0; i < std::max(whole.rows.size(), split.rows.size()); ++i) {
        const std::string a = i < whole.rows.size() ? whole.rows[i] : "-";
        const std::string b = i < split.rows.size() ? split.rows[i] : "-";
        if (a != b) {
            std::fprintf(stderr, "first difference at %zu: whole \"%s\", split \"%s\"\n", i, a.c_str(), b.c_str());
            break;
        }
    }
}

// A stream with a lying ADU header between two well-formed ones; `expected` decodes the two alone.
Bytes LyingStream(FuzzedDataProvider& in, Decoder& expected, std::set<std::size_t>& avoid, std::size_t& must,
                  std::vector<Bytes>& writes) {
    std::set<std::size_t> firstAvoid;
    std::set<std::size_t> secondAvoid;
    Bytes bytes = Stream(in, firstAvoid, writes);
    bool mustEnd = false;
    const Bytes header = LyingHeader(in, mustEnd);
    const Bytes second = Stream(in, secondAvoid, writes);
    for (const Bytes* part : {static_cast<const Bytes*>(&bytes), &second}) {
        Bytes terminated = *part;
        terminated.push_back(0);
        expected.core.DecodeChunk(terminated.data(), static_cast<std::uint32_t>(part->size()), expected.record);
    }
    avoid = firstAvoid;
    bytes.insert(bytes.end(), header.begin(), header.end());
    must = mustEnd ? bytes.size() : 0;
    for (std::size_t at : secondAvoid) avoid.insert(bytes.size() + at);
    bytes.insert(bytes.end(), second.begin(), second.end());
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The Modbus loop traces every ADU to standard output; keep the fuzzer's console readable.
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Made once: the two tables start every input alike, since every earlier input left them alike.
    static Decoder whole;
    static Decoder split;
    static Decoder raw;
    whole.record.rows.clear();
    whole.record.sends.clear();
    split.record.rows.clear();
    split.record.sends.clear();
    ReceiveStream stream;
    FuzzedDataProvider in(data, size);
    const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
    if (mode & kRawMode) {
        const Bytes bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, kMaxStream));
        raw.record.rows.clear();
        raw.record.sends.clear();
        Feed(raw, stream, bytes, Cuts(in, bytes.size(), {}));
        stream.Close(raw.core);
        return 0;
    }
    std::set<std::size_t> avoid;
    std::size_t must = 0;
    std::vector<Bytes> writes;
    Bytes bytes;
    if (mode & kLyingMode) {
        bytes = LyingStream(in, whole, avoid, must, writes);
    } else {
        bytes = Stream(in, avoid, writes);
        Bytes terminated = bytes;
        terminated.push_back(0);
        whole.core.DecodeChunk(terminated.data(), static_cast<std::uint32_t>(bytes.size()), whole.record);
    }
    const std::vector<std::size_t> cuts = Cuts(in, bytes.size(), avoid, must);
    Feed(split, stream, bytes, cuts);
    // Nothing unfinished may be left: at most the last frame's end mark, come alone.
    const std::int32_t unknownBefore = unknowCount.load();
    const std::size_t held = stream.Held();
    stream.Close(split.core);
    if (unknowCount.load() != unknownBefore || split.record.rows != whole.record.rows ||
        split.record.sends != whole.record.sends || !SameTables(split.table, whole.table) ||
        Acknowledgements(whole.record.sends) != writes) {
        Explain(bytes, cuts, whole.record, split.record, held);
        std::fprintf(stderr, "unknown %d, tables alike %d, %zu writes acknowledged of %zu sent\n",
                     unknowCount.load() - unknownBefore, SameTables(split.table, whole.table) ? 1 : 0,
                     Acknowledgements(whole.record.sends).size(), writes.size());
        std::abort();
    }
    return 0;
}
