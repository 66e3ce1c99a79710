// telvorn-replay: feeds captured chunks through the telemetry core and prints what the raw data
// page would show, what would be recorded and what would be sent back.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "core/ReceiveStream.h"
#include "core/TelemetryCore.h"
#include "tools/replay/RecordJson.h"
#include "tools/replay/ReplayOptions.h"
#include "tools/replay/ReplaySinks.h"

namespace {

// The chunk's bytes followed by the zero byte the server puts after every receive.
bool ReadChunk(const std::string& path, std::vector<std::uint8_t>& chunk) {
    std::vector<char> bytes;
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) return false;
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (file.bad()) return false;
    }
    chunk.assign(bytes.begin(), bytes.end());
    chunk.push_back(0);
    return true;
}

void Configure(TelemetryCore& core, RtuTable& table, const ReplayOptions& options) {
    for (std::size_t i = 0; i < options.rtus.size(); ++i) {
        table.Slot(i).SetUidText(options.rtus[i].uidText);
        table.Slot(i).SetModel(options.rtus[i].model);
    }
    core.SetRtuTable(table);
    echoServer.store(options.echo ? 1 : 0);
    if (options.now) core.SetClock([now = *options.now] { return now; });
    if (options.countersPath) core.SetCountersPath(*options.countersPath);
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(true);
    ReplayOptions options;
    std::string error;
    if (!ParseReplayOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "telvorn-replay: %s\n%s", error.c_str(), kReplayUsage);
        return 2;
    }

    static RtuTable table;
    StdoutRawDataList rawData;
    StdoutStatePage statePage;
    StdoutHistoryWriter history;
    StdoutReplyPath reply;
    TelemetryCore core;
    Configure(core, table, options);
    core.SetRawDataList(&rawData);
    core.SetStatePage(&statePage);
    core.SetHistoryWriter(&history);

    int status = 0;
    static ReceiveStream connection;
    std::vector<std::uint8_t> chunk;
    for (const std::string& path : options.files) {
        if (!ReadChunk(path, chunk)) {
            std::fflush(stdout);
            std::fprintf(stderr, "telvorn-replay: cannot read %s\n", path.c_str());
            status = 1;
            continue;
        }
        if (!options.stream) {
            core.DecodeChunk(chunk.data(), static_cast<std::uint32_t>(chunk.size() - 1), reply);
            continue;
        }
        for (std::size_t at = 0; at + 1 < chunk.size(); at += ReceiveStream::kMaxReceive) {
            connection.Take(chunk.data() + at, std::min(ReceiveStream::kMaxReceive, chunk.size() - 1 - at));
            connection.Decode(core, reply);
        }
    }
    if (options.stream) connection.Close(core);
    if (options.dump) {
        for (std::size_t i = 0; i < options.rtus.size(); ++i) {
            std::puts(RecordToJson(i, table.Slot(i).Snapshot()).c_str());
        }
    }
    return status;
}
