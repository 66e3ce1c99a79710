// What one scrape of /metrics and one /api/rtus cost with a full live table of 256 RTUs that have
// all reported, each answer built as the endpoint builds it (without the HTTP round trip, which
// tools/soak measures under load).
#include <benchmark/benchmark.h>

#include <string>

#include "server/StartTcpServer.h"
#include "web/MetricsPage.h"
#include "web/StatusApi.h"

namespace {

struct FullTable {
    FullTable() {
        for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
            RtuSlot& slot = table.Slot(i);
            slot.SetModel(402);
            slot.SetUidText(std::to_string(1000 + i));
            slot.SetRegistString("RTU v2.1");
            for (std::uint32_t c = 0; c < 8; ++c) slot.SetAin(c, 12.3 + c);
            table.Activity().Note(i, ReportOrigin{nullptr, 0, 0x7f000001, 40000}, true);
        }
        sources.table = &table;
        sources.connections = &connections;
    }
    RtuTable table;
    RunningServer running;  // no server: every connection reads as closed
    ConnectionView connections{running};
    MonitorSources sources;
};

FullTable& Table() {
    static FullTable full;
    return full;
}

void BM_Metrics256Rtus(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) bytes = RenderMetrics(Table().sources).size();
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Metrics256Rtus)->Unit(benchmark::kMicrosecond);

void BM_RtuList256Rtus(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) bytes = RtuListAnswer(Table().sources).body.size();
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RtuList256Rtus)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
