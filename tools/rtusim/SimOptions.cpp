#include "tools/rtusim/SimOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "tools/rtusim/ModbusAdu.h"
#include "tools/rtusim/RtuFrame.h"

namespace rtusim {

namespace {

constexpr unsigned kMaxConnections = 1000;
constexpr double kMaxRate = 10000.0;
constexpr double kMaxDurationSeconds = 30.0 * 24 * 3600;
constexpr unsigned kMaxWeight = 1000;

std::optional<std::uint64_t> wholeNumber(const std::string& text, std::uint64_t low, std::uint64_t high,
                                         int base = 10) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<double> realNumber(const std::string& text, double low, double high) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value) || value < low || value > high) return std::nullopt;
    return value;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::optional<std::vector<std::uint32_t>> unitList(const std::string& text) {
    std::vector<std::uint32_t> units;
    std::set<std::uint32_t> seen;
    for (const std::string& part : split(text, ',')) {
        const std::size_t dash = part.find('-');
        const auto first = wholeNumber(part.substr(0, dash), 1, 65535);
        const auto last = dash == std::string::npos ? first : wholeNumber(part.substr(dash + 1), 1, 65535);
        if (!first || !last || *last < *first) return std::nullopt;
        for (std::uint64_t unit = *first; unit <= *last; ++unit)
            if (seen.insert(static_cast<std::uint32_t>(unit)).second) units.push_back(static_cast<std::uint32_t>(unit));
    }
    return units;
}

using Groups = std::map<std::string, std::vector<std::uint8_t>>;

// "10:5,83" or group names; each entry's optional ":weight" applies to every function it names.
std::optional<std::vector<WeightedFunction>> functionList(const std::string& text, const Groups& groups,
                                                          bool (*known)(std::uint8_t)) {
    std::vector<WeightedFunction> functions;
    for (const std::string& part : split(text, ',')) {
        const std::size_t colon = part.find(':');
        const std::string name = part.substr(0, colon);
        const auto weight = colon == std::string::npos ? std::optional<std::uint64_t>(1)
                                                       : wholeNumber(part.substr(colon + 1), 1, kMaxWeight);
        if (!weight) return std::nullopt;
        std::vector<std::uint8_t> codes;
        if (const auto group = groups.find(name); group != groups.end()) {
            codes = group->second;
        } else if (const auto code = name.size() <= 2 ? wholeNumber(name, 0, 255, 16) : std::nullopt;
                   code && known(static_cast<std::uint8_t>(*code))) {
            codes.push_back(static_cast<std::uint8_t>(*code));
        } else {
            return std::nullopt;
        }
        for (std::uint8_t fn : codes) functions.push_back({fn, static_cast<unsigned>(*weight)});
    }
    return functions;
}

template <typename T>
std::optional<T> narrow(std::optional<std::uint64_t> value) {
    if (!value) return std::nullopt;
    return static_cast<T>(*value);
}

template <typename T>
std::string store(std::optional<T> value, T& target, const char* what) {
    if (!value) return what;
    target = *value;
    return {};
}

using Setter = std::function<std::string(SimOptions&, const std::string&)>;

const std::map<std::string, Setter>& valueOptions() {
    static const Groups frameGroups{{"all", frameFunctions()}, {"none", {}}};
    static const Groups modbusGroups{{"all", {0x01, 0x03, 0x04, 0x05, 0x06, 0x0f, 0x10, 0x23, 0x80, 0x86}},
                                     {"reads", modbusReadFunctions()},
                                     {"writes", modbusWriteFunctions()},
                                     {"none", {}}};
    static const std::map<std::string, Setter> options{
        {"--host",
         [](SimOptions& o, const std::string& v) {
             o.host = v;
             return v.empty() ? "empty host" : "";
         }},
        {"--port",
         [](SimOptions& o, const std::string& v) {
             return store(narrow<std::uint16_t>(wholeNumber(v, 1, 65535)), o.port, "port must be 1..65535");
         }},
        {"--connections",
         [](SimOptions& o, const std::string& v) {
             return store(narrow<unsigned>(wholeNumber(v, 1, kMaxConnections)), o.connections,
                          "connections must be 1..1000");
         }},
        {"--rate",
         [](SimOptions& o, const std::string& v) {
             return store(realNumber(v, 0.001, kMaxRate), o.rate, "rate must be 0.001..10000 per second");
         }},
        {"--total-rate",
         [](SimOptions& o, const std::string& v) {
             return store(realNumber(v, 0.001, kMaxRate * kMaxConnections), o.totalRate,
                          "total rate must be 0.001..10000000 per second");
         }},
        {"--duration",
         [](SimOptions& o, const std::string& v) {
             return store(realNumber(v, 0.001, kMaxDurationSeconds), o.durationSeconds,
                          "duration must be 0.001..2592000 seconds");
         }},
        {"--count",
         [](SimOptions& o, const std::string& v) {
             return store(wholeNumber(v, 0, UINT64_MAX), o.count, "count must be a whole number");
         }},
        {"--units",
         [](SimOptions& o, const std::string& v) {
             return store(unitList(v), o.units, "units must be ids 1..65535 or ranges like 1-20, comma-separated");
         }},
        {"--frames",
         [](SimOptions& o, const std::string& v) {
             return store(functionList(v, frameGroups, isFrameFunction), o.frames,
                          "frames must be all, none or RTU functions in hex with optional :weight");
         }},
        {"--modbus",
         [](SimOptions& o, const std::string& v) {
             return store(functionList(v, modbusGroups, isModbusFunction), o.modbus,
                          "modbus must be all, reads, writes, none or function codes in hex with optional :weight");
         }},
        {"--reply-timeout",
         [](SimOptions& o, const std::string& v) {
             return store(narrow<unsigned>(wholeNumber(v, 1, 600000)), o.replyTimeoutMs,
                          "reply timeout must be 1..600000 ms");
         }},
        {"--time-tolerance",
         [](SimOptions& o, const std::string& v) {
             return store(narrow<int>(wholeNumber(v, 0, 86400)), o.timeToleranceSeconds,
                          "time tolerance must be 0..86400 seconds");
         }},
        {"--reconnect-rate",
         [](SimOptions& o, const std::string& v) {
             return store(realNumber(v, 0.0, 100.0), o.reconnectRate, "reconnect rate must be 0..100 per second");
         }},
        {"--reconnect-delay",
         [](SimOptions& o, const std::string& v) {
             return store(narrow<unsigned>(wholeNumber(v, 0, 600000)), o.reconnectDelayMs,
                          "reconnect delay must be 0..600000 ms");
         }},
        {"--reopen-delay",
         [](SimOptions& o, const std::string& v) {
             return store(narrow<unsigned>(wholeNumber(v, 0, 600000)), o.reopenDelayMs,
                          "reopen delay must be 0..600000 ms");
         }},
        {"--max-registers",
         [](SimOptions& o, const std::string& v) {
             return store(narrow<unsigned>(wholeNumber(v, 2, kMaxWindowRegisters)), o.maxRegisters,
                          "max registers must be 2..256");
         }},
        {"--seed",
         [](SimOptions& o, const std::string& v) {
             return store(wholeNumber(v, 0, UINT64_MAX), o.seed, "seed must be a whole number");
         }},
        {"--transaction-start",
         [](SimOptions& o, const std::string& v) {
             const bool hex = v.rfind("0x", 0) == 0 || v.rfind("0X", 0) == 0;
             const auto start = narrow<std::uint16_t>(wholeNumber(hex ? v.substr(2) : v, 0, 65535, hex ? 16 : 10));
             if (!start) return std::string("transaction start must be 0..65535 (or 0x0000..0xffff)");
             o.transactionStart = start;
             return std::string();
         }},
        {"--record",
         [](SimOptions& o, const std::string& v) {
             o.recordPath = v;
             return v.empty() ? std::string("--record needs a file name") : std::string();
         }},
        {"--progress",
         [](SimOptions& o, const std::string& v) {
             return store(realNumber(v, 0.0, 86400.0), o.progressSeconds, "progress must be 0..86400 seconds");
         }},
    };
    return options;
}

bool hasModbusWrites(const SimOptions& o) {
    return std::any_of(o.modbus.begin(), o.modbus.end(), [](const WeightedFunction& f) {
        return std::find(modbusWriteFunctions().begin(), modbusWriteFunctions().end(), f.fn) !=
               modbusWriteFunctions().end();
    });
}

std::string crossCheck(SimOptions& o, bool framesGiven, bool modbusGiven) {
    if (!framesGiven && !modbusGiven)
        for (std::uint8_t fn : frameFunctions()) o.frames.push_back({fn, 1});
    if (o.port == 0) return "--port is required";
    if (o.totalRate > 0) o.rate = o.totalRate / o.connections;
    if (o.rate < 0.001 || o.rate > kMaxRate) return "rate per connection must be 0.001..10000 per second";
    if (o.frames.empty() && o.modbus.empty()) return "nothing to send: give --frames or --modbus";
    const std::size_t modbusCapable = modbusUnits(o.units).size();
    if (!o.modbus.empty() && modbusCapable == 0) return "Modbus/TCP needs a unit id of 255 or less in --units";
    if (o.checkValues && o.connections > o.units.size())
        return "--check-values gives each connection units of its own: give at least as many --units as --connections";
    if (o.checkValues && hasModbusWrites(o) && o.connections > modbusCapable)
        return "--check-values with Modbus writes needs at least as many unit ids of 255 or less as --connections";
    return {};
}

}  // namespace

std::vector<std::uint32_t> modbusUnits(const std::vector<std::uint32_t>& units) {
    std::vector<std::uint32_t> capable;
    for (std::uint32_t unit : units)
        if (unit <= 255) capable.push_back(unit);
    return capable;
}

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    SimOptions options;
    bool framesGiven = false, modbusGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        const std::size_t equals = name.find('=');
        const bool inlineValue = name.rfind("--", 0) == 0 && equals != std::string::npos;
        if (inlineValue) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (name == "--help" || name == "-h") return {std::nullopt, true, {}};
        if (name == "--split") {
            options.split = true;
            continue;
        }
        if (name == "--expect-echo" || name == "--check-values") {
            (name == "--expect-echo" ? options.expectEcho : options.checkValues) = true;
            continue;
        }
        const auto option = valueOptions().find(name);
        if (option == valueOptions().end()) return {std::nullopt, false, "unknown option " + name};
        if (!inlineValue && ++i >= args.size()) return {std::nullopt, false, name + " needs a value"};
        if (!inlineValue) value = args[i];
        if (std::string error = option->second(options, value); !error.empty()) return {std::nullopt, false, error};
        framesGiven = framesGiven || name == "--frames";
        modbusGiven = modbusGiven || name == "--modbus";
    }
    if (std::string error = crossCheck(options, framesGiven, modbusGiven); !error.empty())
        return {std::nullopt, false, error};
    parsed.options = std::move(options);
    return parsed;
}

}  // namespace rtusim
