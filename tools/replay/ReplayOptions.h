#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

struct ReplayRtu {
    std::string uidText;
    std::int32_t model = 0;
};

// telvorn-replay [--rtu UID[:MODEL]]... [--echo] [--now "YYYY-MM-DD HH:MM:SS"] [--counters PATH] [--dump] [--stream]
// FILE...
struct ReplayOptions {
    std::vector<ReplayRtu> rtus;  // slots 0, 1, ... in order
    bool echo = false;
    std::optional<std::tm> now;
    std::optional<std::string> countersPath;
    bool dump = false;
    bool stream = false;             // the files are the receives of one connection, in order
    std::vector<std::string> files;  // "-" is standard input
};

// Fills options from the command line; on a mistake returns false with a message in error.
bool ParseReplayOptions(int argc, char** argv, ReplayOptions& options, std::string& error);

// "YYYY-MM-DD HH:MM:SS" as a local time.
std::optional<std::tm> ParseLocalTime(const std::string& text);

extern const char* const kReplayUsage;
