#include "core/CounterReport.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/ParseDecimal.h"
#include "core/TelemetryCore.h"

namespace {

constexpr std::size_t kSentenceSearchChars = 60;
constexpr std::size_t kLatitudeOffset = 6;      // after "G" and five more characters with their comma
constexpr std::size_t kLatitudeEndOffset = 20;  // the latitude's comma comes before this offset
constexpr std::size_t kHemisphereSkip = 3;      // ",", hemisphere letter, ","
constexpr std::size_t kMaxLongitudeChars = 20;

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// Copies from pos until a comma before limit; converts only when the comma was found.
// Returns the comma's position, or limit when there was none.
std::size_t ReadCommaTerminated(const ChunkView& text, std::size_t pos, std::size_t limit, double& value) {
    std::string digits;
    for (std::size_t i = pos; i < limit; ++i) {
        const std::uint8_t c = text.At(i);
        if (c == ',') {
            value = ReadDecimalText(digits);
            return i;
        }
        digits += static_cast<char>(c);
    }
    return limit;
}

std::mutex countersFileLock;

}  // namespace

GpsPosition ScanGpsPosition(const ChunkView& text, std::size_t pos) {
    GpsPosition position;
    std::size_t g = pos;
    while (g < pos + kSentenceSearchChars && text.At(g) != 'G') ++g;
    if (g == pos + kSentenceSearchChars) return position;

    std::size_t scan = pos;
    if (IsDigit(text.At(g + kLatitudeOffset))) {
        scan = ReadCommaTerminated(text, g + kLatitudeOffset, g + kLatitudeEndOffset, position.latitude);
    }
    if (text.At(scan) == ',') scan += kHemisphereSkip;
    if (IsDigit(text.At(scan))) ReadCommaTerminated(text, scan, scan + kMaxLongitudeChars, position.longitude);
    return position;
}

bool AppendCountersLine(const std::string& path, const std::string& line) {
    if (path.empty()) return false;
    std::lock_guard<std::mutex> guard(countersFileLock);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) return false;
    const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    return std::fclose(file) == 0 && written;
}

std::string DefaultCountersPath() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* entry = getpwuid(getuid());
        home = entry ? entry->pw_dir : nullptr;
    }
    return std::string(home ? home : ".") + "/counters.txt";
}
