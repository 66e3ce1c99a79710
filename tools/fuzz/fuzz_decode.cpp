// libFuzzer target: any chunk a connection can deliver, RTU I/O frames and Modbus/TCP ADUs alike,
// through DecodeChunk with every sink present.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/TelemetryCore.h"
#include "tools/bench/NullSinks.h"

namespace {

// The largest chunk one receive delivers.
constexpr std::size_t kMaxChunk = 4095;

// Reads every byte it is handed, so a send past the chunk shows up under the address sanitizer.
class CheckingReplyPath : public IReplyPath {
public:
    bool Send(const std::uint8_t* bytes, std::size_t length) override {
        for (std::size_t i = 0; i < length; ++i) sum += bytes[i];
        return (sum & 1) == 0;
    }
    void Release() override {}
    unsigned sum = 0;
};

struct Harness {
    Harness() {
        const char* units[] = {"123", "5", "1", "0", "65535"};
        for (std::size_t i = 0; i < sizeof units / sizeof units[0]; ++i) table.Slot(i).SetUidText(units[i]);
        core.SetRtuTable(table);
        core.SetRawDataList(&list);
        core.SetStatePage(&page);
        core.SetHistoryWriter(&history);
        core.SetCountersPath("/dev/null");
        core.SetClock([] { return std::tm{}; });
        echoServer = 1;
    }
    RtuTable table;
    NullRawDataList list;
    NullStatePage page;
    NullHistoryWriter history;
    CheckingReplyPath reply;
    TelemetryCore core;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The Modbus loop traces every ADU to standard output; keep the fuzzer's console readable.
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness harness;
    if (size > kMaxChunk) return -1;
    // Exactly the received bytes and the zero the server writes after them.
    std::vector<std::uint8_t> chunk(data, data + size);
    chunk.push_back(0);
    harness.core.DecodeChunk(chunk.data(), static_cast<std::uint32_t>(size), harness.reply);
    return 0;
}
