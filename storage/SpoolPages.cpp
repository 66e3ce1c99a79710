#include "storage/SpoolPages.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

// SQLite's file format: the file header (100 bytes on the first page) and its page size at 16;
// the log's header (32 bytes) and each frame's (24 bytes: page, size after commit, two salts).
constexpr std::size_t kFileHeader = 100;
constexpr std::size_t kDefaultPageSize = 4096;
constexpr std::size_t kLogHeader = 32;
constexpr std::size_t kFrameHeader = 24;
constexpr unsigned char kTableLeaf = 0x0d;
constexpr std::size_t kLeafHeader = 8;
// A reading's columns (the sequence first, NULL as the rowid's alias), and a row set aside's.
constexpr std::size_t kReadingColumns = 16;
constexpr std::size_t kAsideColumns = 20;

std::uint32_t BigEndian(const unsigned char* bytes, int size) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) value = (value << 8) | bytes[i];
    return value;
}

std::string Bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A bounded view of one page: a read past its end fails rather than reads on.
class Page {
public:
    explicit Page(std::string_view bytes) : bytes_(bytes) {}

    bool Varint(std::size_t& at, std::int64_t& value) const {
        std::uint64_t result = 0;
        for (int i = 0; i < 9; ++i) {
            if (at >= bytes_.size()) return false;
            const auto byte = static_cast<unsigned char>(bytes_[at++]);
            if (i == 8) {
                value = static_cast<std::int64_t>((result << 8) | byte);
                return true;
            }
            result = (result << 7) | (byte & 0x7f);
            if ((byte & 0x80) == 0) break;
        }
        value = static_cast<std::int64_t>(result);
        return true;
    }
    bool Has(std::size_t at, std::size_t size) const { return at <= bytes_.size() && size <= bytes_.size() - at; }
    const unsigned char* At(std::size_t at) const { return reinterpret_cast<const unsigned char*>(bytes_.data()) + at; }
    std::size_t Size() const { return bytes_.size(); }

private:
    std::string_view bytes_;
};

// One column's value as the record holds it.
struct Value {
    enum class Kind { Null, Integer, Real, Bytes };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;
};

bool ReadValue(const Page& page, std::int64_t type, std::size_t& at, Value& value) {
    static constexpr int kIntegerSizes[] = {0, 1, 2, 3, 4, 6, 8};
    value = Value{};
    if (type == 0) return true;
    if (type == 8 || type == 9) {
        value.kind = Value::Kind::Integer;
        value.integer = type - 8;
        return true;
    }
    if (type >= 1 && type <= 7) {
        const int size = type == 7 ? 8 : kIntegerSizes[type];
        if (!page.Has(at, static_cast<std::size_t>(size))) return false;
        std::uint64_t bits = 0;
        for (int i = 0; i < size; ++i) bits = (bits << 8) | page.At(at)[i];
        at += static_cast<std::size_t>(size);
        if (type == 7) {
            value.kind = Value::Kind::Real;
            std::memcpy(&value.real, &bits, sizeof value.real);
        } else {
            const int unused = 64 - 8 * size;
            value.kind = Value::Kind::Integer;
            value.integer = static_cast<std::int64_t>(bits << unused) >> unused;
        }
        return true;
    }
    if (type < 12) return false;
    const auto size = static_cast<std::size_t>((type - 12) / 2);
    if (!page.Has(at, size)) return false;
    value.kind = Value::Kind::Bytes;
    value.bytes.assign(reinterpret_cast<const char*>(page.At(at)), size);
    at += size;
    return true;
}

std::int64_t Integer(const Value& value) {
    return value.kind == Value::Kind::Real ? static_cast<std::int64_t>(value.real) : value.integer;
}
double Real(const Value& value) {
    return value.kind == Value::Kind::Real ? value.real : static_cast<double>(value.integer);
}
std::optional<std::int32_t> Rid(const Value& value) {
    if (value.kind == Value::Kind::Null) return std::nullopt;
    return static_cast<std::int32_t>(Integer(value));
}

// One cell's record as a reading; nothing when its layout is not a reading's.
std::optional<SpooledReading> ReadCell(const Page& page, std::size_t at, std::size_t maxLocal) {
    std::int64_t payload = 0, rowid = 0, headerSize = 0;
    if (!page.Varint(at, payload) || !page.Varint(at, rowid) || payload < 0 ||
        static_cast<std::size_t>(payload) > maxLocal || !page.Has(at, static_cast<std::size_t>(payload)))
        return std::nullopt;
    const std::size_t start = at;
    if (!page.Varint(at, headerSize) || headerSize <= 0 || headerSize > payload) return std::nullopt;
    std::vector<std::int64_t> types;
    while (at < start + static_cast<std::size_t>(headerSize)) {
        std::int64_t type = 0;
        if (!page.Varint(at, type)) return std::nullopt;
        types.push_back(type);
    }
    if (types.size() != kReadingColumns && types.size() != kAsideColumns) return std::nullopt;
    std::vector<Value> values(kReadingColumns);
    for (std::size_t i = 0; i < kReadingColumns; ++i)
        if (!ReadValue(page, types[i], at, values[i])) return std::nullopt;
    SpooledReading spooled;
    spooled.sequence = rowid;
    spooled.arrivedAt = Integer(values[1]);
    spooled.reading = HistoryReading{static_cast<int>(Integer(values[2])),          values[3].bytes,
                                     static_cast<int>(Integer(values[4])),          values[5].bytes,
                                     static_cast<float>(Real(values[6])),           values[7].bytes,
                                     static_cast<std::uint8_t>(Integer(values[8])), values[9].bytes};
    spooled.channel = {Integer(values[10]) != 0, Rid(values[11]), values[12].bytes};
    spooled.fullRcds = {Integer(values[13]) != 0, Rid(values[14]), values[15].bytes};
    return spooled;
}

std::int64_t ScanPage(const Page& page, std::size_t headerAt, const std::function<void(SpooledReading&)>& take) {
    if (!page.Has(headerAt, kLeafHeader) || page.At(headerAt)[0] != kTableLeaf) return 0;
    const std::uint32_t cells = BigEndian(page.At(headerAt + 3), 2);
    const std::size_t maxLocal = page.Size() - 35;
    std::int64_t taken = 0;
    for (std::uint32_t i = 0; i < cells; ++i) {
        const std::size_t pointer = headerAt + kLeafHeader + 2 * i;
        if (!page.Has(pointer, 2)) break;
        std::optional<SpooledReading> spooled = ReadCell(page, BigEndian(page.At(pointer), 2), maxLocal);
        if (!spooled) continue;
        take(*spooled);
        ++taken;
    }
    return taken;
}

// The log's last committed version of each page: its offset in the log.
std::map<std::uint32_t, std::size_t> CommittedFrames(const std::string& log, std::size_t& pageSize) {
    std::map<std::uint32_t, std::size_t> committed, pending;
    if (log.size() < kLogHeader) return committed;
    const auto* header = reinterpret_cast<const unsigned char*>(log.data());
    const std::size_t logPageSize = BigEndian(header + 8, 4);
    if (logPageSize < 512 || logPageSize > 65536 || (logPageSize & (logPageSize - 1)) != 0) return committed;
    pageSize = logPageSize;
    for (std::size_t at = kLogHeader; at + kFrameHeader + pageSize <= log.size(); at += kFrameHeader + pageSize) {
        const auto* frame = reinterpret_cast<const unsigned char*>(log.data() + at);
        // A frame of an earlier round of the log carries other salts: the log ends before it.
        if (std::memcmp(frame + 8, header + 16, 8) != 0) break;
        pending[BigEndian(frame, 4)] = at + kFrameHeader;
        if (BigEndian(frame + 4, 4) == 0) continue;
        for (const auto& [page, offset] : pending) committed[page] = offset;
        pending.clear();
    }
    return committed;
}

// The page size the file's header gives, when it has one.
std::size_t FilePageSize(std::ifstream& file) {
    constexpr std::string_view kMagic("SQLite format 3\0", 16);
    char header[18] = {};
    if (!file.read(header, sizeof header) || std::string_view(header, kMagic.size()) != kMagic) return kDefaultPageSize;
    const std::uint32_t size = BigEndian(reinterpret_cast<const unsigned char*>(header) + 16, 2);
    if (size == 1) return 65536;
    return size >= 512 && (size & (size - 1)) == 0 ? size : kDefaultPageSize;
}

}  // namespace

namespace spool_pages {

std::int64_t Scan(const fs::path& file, const std::function<void(SpooledReading&)>& take) {
    std::ifstream main(file, std::ios::binary);
    std::size_t pageSize = FilePageSize(main);
    const std::string log = Bytes(file.string() + "-wal");
    const std::map<std::uint32_t, std::size_t> frames = CommittedFrames(log, pageSize);
    const auto framePage = [&](std::size_t offset) { return Page(std::string_view(log).substr(offset, pageSize)); };
    std::int64_t taken = 0;
    // The file's pages, each as the log last wrote it if it did; then the pages only the log has.
    main.seekg(0);
    std::string page(pageSize, '\0');
    std::uint32_t number = 1;
    for (; main.read(page.data(), static_cast<std::streamsize>(pageSize)); ++number) {
        const auto frame = frames.find(number);
        const std::size_t headerAt = number == 1 ? kFileHeader : 0;
        taken += ScanPage(frame != frames.end() ? framePage(frame->second) : Page(page), headerAt, take);
    }
    for (auto frame = frames.lower_bound(number); frame != frames.end(); ++frame)
        taken += ScanPage(framePage(frame->second), frame->first == 1 ? kFileHeader : 0, take);
    return taken;
}

}  // namespace spool_pages
