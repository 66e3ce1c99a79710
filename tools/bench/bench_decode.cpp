// DecodeChunk on typical chunks with sinks that do nothing: the decoder's own cost per chunk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/TelemetryCore.h"
#include "tools/bench/NullSinks.h"

namespace {

class NullReplyPath : public IReplyPath {
public:
    bool Send(const std::uint8_t* bytes, std::size_t) override {
        benchmark::DoNotOptimize(bytes);
        return true;
    }
    void Release() override {}
};

std::vector<std::uint8_t> Terminated(const std::string& text) {
    std::vector<std::uint8_t> chunk(text.begin(), text.end());
    chunk.push_back(0);
    return chunk;
}

void RunDecode(benchmark::State& state, const std::vector<std::uint8_t>& chunk) {
    static RtuTable table;
    table.Slot(0).SetUidText("123");
    table.Slot(1).SetUidText("5");
    NullRawDataList list;
    NullStatePage page;
    NullHistoryWriter history;
    NullReplyPath reply;
    TelemetryCore core;
    core.SetRtuTable(table);
    core.SetRawDataList(&list);
    core.SetStatePage(&page);
    core.SetHistoryWriter(&history);
    core.SetClock([] { return std::tm{}; });
    const auto fill = static_cast<std::uint32_t>(chunk.size() - 1);
    for (auto _ : state) core.DecodeChunk(chunk.data(), fill, reply);
    state.SetItemsProcessed(state.iterations());
}

void BM_AinFrame(benchmark::State& state) { RunDecode(state, Terminated("$0000012300102014041112300001112.34$")); }

void BM_AinListFrame8(benchmark::State& state) {
    RunDecode(state, Terminated("$0000012300222014041112300008"
                                "112.34,123.45,134.56,145.67,156.78,167.89,178.90,189.01,$"));
}

void BM_ModbusRead(benchmark::State& state) {
    // Read holding registers: unit 5, AIN window, 8 registers.
    const std::vector<std::uint8_t> chunk = {0, 1, 0, 0, 0, 6, 5, 0x03, 0x03, 0xE8, 0x00, 0x08, 0};
    // The loop traces each ADU to standard output; measure the decoder, not the terminal, and give
    // the descriptor back before the benchmark library reports.
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    RunDecode(state, chunk);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(null);
    close(saved);
}

}  // namespace

BENCHMARK(BM_AinFrame);
BENCHMARK(BM_AinListFrame8);
BENCHMARK(BM_ModbusRead);

BENCHMARK_MAIN();
