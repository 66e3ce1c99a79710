#include "tools/replay/ReplayOptions.h"

#include <cstdio>
#include <cstdlib>

#include "core/RtuTable.h"

const char* const kReplayUsage =
    "usage: telvorn-replay [--rtu UID[:MODEL]]... [--echo] [--now \"YYYY-MM-DD HH:MM:SS\"]\n"
    "                      [--counters PATH] [--dump] [--stream] FILE...\n"
    "Each FILE is one received chunk, bytes as received; \"-\" reads standard input.\n"
    "--stream: the FILEs are the receives of one connection in order (at most 4095 bytes are taken\n"
    "at a time), decoded as the server does, which joins a frame or ADU cut by the end of a receive\n"
    "with the next; what is still held at the end is dropped as when the connection closes.\n";

namespace {

bool ParseRtu(const std::string& text, ReplayRtu& rtu) {
    const std::size_t colon = text.find(':');
    rtu.uidText = text.substr(0, colon);
    if (rtu.uidText.empty() || rtu.uidText.size() > 31) return false;
    if (colon == std::string::npos) return true;
    const std::string model = text.substr(colon + 1);
    char* end = nullptr;
    const long value = std::strtol(model.c_str(), &end, 10);
    if (model.empty() || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
    rtu.model = static_cast<std::int32_t>(value);
    return true;
}

// Options that take a value; returns false when the option is not one of them.
bool ParseValueOption(const std::string& option, const std::string& value, ReplayOptions& options, std::string& error) {
    if (option == "--rtu") {
        ReplayRtu rtu;
        if (!ParseRtu(value, rtu)) error = "bad --rtu value \"" + value + "\" (want UID[:MODEL])";
        if (options.rtus.size() == RtuTable::kSlots) error = "more --rtu options than table slots";
        options.rtus.push_back(rtu);
    } else if (option == "--now") {
        options.now = ParseLocalTime(value);
        if (!options.now) error = "bad --now value \"" + value + "\" (want \"YYYY-MM-DD HH:MM:SS\")";
    } else if (option == "--counters") {
        options.countersPath = value;
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::tm> ParseLocalTime(const std::string& text) {
    std::tm t{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                    &t.tm_sec, &consumed) != 6 ||
        static_cast<std::size_t>(consumed) != text.size()) {
        return std::nullopt;
    }
    if (t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 || t.tm_min > 59 ||
        t.tm_sec > 60) {
        return std::nullopt;
    }
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    return t;
}

bool ParseReplayOptions(int argc, char** argv, ReplayOptions& options, std::string& error) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.rfind("--", 0) != 0) break;
        if (arg == "--echo") {
            options.echo = true;
        } else if (arg == "--dump") {
            options.dump = true;
        } else if (arg == "--stream") {
            options.stream = true;
        } else if (i + 1 < argc && ParseValueOption(arg, argv[i + 1], options, error)) {
            ++i;
        } else {
            error = "unknown option or missing value: " + arg;
        }
        if (!error.empty()) return false;
    }
    for (; i < argc; ++i) options.files.emplace_back(argv[i]);
    if (options.files.empty()) error = "no capture files given";
    return error.empty();
}
