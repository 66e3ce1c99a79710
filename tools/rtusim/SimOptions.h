#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rtusim {

// One function code of the mix and how often it is chosen relative to the others.
struct WeightedFunction {
    std::uint8_t fn = 0;
    unsigned weight = 1;

    bool operator==(const WeightedFunction&) const = default;
};

// The command line of rtusim; see helpText() for each option's meaning and default.
struct SimOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
    unsigned connections = 1;
    double rate = 1.0;       // messages per second on each connection
    double totalRate = 0.0;  // when set: messages per second over all connections, shared evenly
    double durationSeconds = 10.0;
    std::uint64_t count = 0;  // messages in all; 0: no limit but the duration
    std::vector<std::uint32_t> units{1};
    std::vector<WeightedFunction> frames;
    std::vector<WeightedFunction> modbus;
    bool expectEcho = false;
    bool checkValues = false;
    unsigned replyTimeoutMs = 2000;
    int timeToleranceSeconds = 120;
    double reconnectRate = 0.0;  // deliberate close-and-reopen per connection per second
    unsigned reconnectDelayMs = 1000;
    unsigned reopenDelayMs = 0;  // pause between a deliberate close and its reopen
    unsigned maxRegisters = 125;
    std::uint64_t seed = 1;
    // When set: each connection counts its Modbus transaction ids up from here, as a polling master
    // does, through ids that begin with "$" (0x24xx); else they start at random and skip those.
    std::optional<std::uint16_t> transactionStart;
    double progressSeconds = 0.0;
    bool split = false;      // every message written in random pieces, a few milliseconds apart
    std::string recordPath;  // when set: one line per reading sent, for checking the server's rows
};

struct ParsedOptions {
    std::optional<SimOptions> options;  // empty on a usage error or --help
    bool help = false;
    std::string error;
};

ParsedOptions parseOptions(const std::vector<std::string>& args);

const char* helpText();

// Units that Modbus/TCP can address (its unit id is one byte).
std::vector<std::uint32_t> modbusUnits(const std::vector<std::uint32_t>& units);

}  // namespace rtusim
