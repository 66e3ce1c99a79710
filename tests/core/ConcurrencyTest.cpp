// Workers decoding for different connections while the window reads the table: every reply stays
// whole and correct, and the thread sanitizer stays quiet.
#include <gtest/gtest.h>

#include <thread>

#include "tests/core/CoreFixture.h"

namespace {

class Concurrency : public CoreTest {
protected:
    Concurrency() {
        registerRtu(0, "5", 402);
        registerRtu(1, "123", 403);
    }
};

TEST_F(Concurrency, ParallelReadsOfOneUnitEachGetWholeReplies) {
    for (int i = 0; i < 125; ++i) table.Slot(0).SetRegisterValue(i, 1.0 + i);
    const Bytes request = {0, 1, 0, 0, 0, 6, 5, 0x03, 0x04, 0xB0, 0x00, 125};  // the most one ADU holds
    constexpr int kReads = 100;
    RecordingReplyPath paths[2];
    auto reader = [&](RecordingReplyPath& path) {
        for (int i = 0; i < kReads; ++i) send(request, path);
    };
    std::thread a(reader, std::ref(paths[0]));
    std::thread b(reader, std::ref(paths[1]));
    a.join();
    b.join();
    for (auto& path : paths) {
        const auto sends = path.Sends();
        ASSERT_EQ(sends.size(), static_cast<std::size_t>(kReads));
        for (const Bytes& r : sends) {
            ASSERT_EQ(r.size(), 259u);
            for (int i = 0; i < 125; ++i) {
                const int word = r[9 + 2 * i] << 8 | r[10 + 2 * i];
                ASSERT_EQ(word, 10 * (1 + i));
            }
        }
    }
}

TEST_F(Concurrency, WritersAndWindowReaderShareTheTable) {
    std::atomic<bool> done{false};
    std::thread window([&] {
        while (!done) {
            const RtuRecord r = table.Slot(1).Snapshot();
            // Only the first worker writes AIN0 of unit 123: a snapshot sees it unset or written, never torn.
            EXPECT_TRUE(r.ain[0] == 0.0f || r.ain[0] == 12.3f) << r.ain[0];
            table.FindRtuByUidText("123");
        }
    });
    auto worker = [this](const std::string& f) {
        RecordingReplyPath path;
        for (int i = 0; i < 200; ++i) send(ToBytes(f), path);
    };
    std::thread a(worker, frame(123, "10", "00", "112.34"));
    std::thread b(worker, frame(5, "22", "02", "11.00,12.00,"));
    std::thread registry([this] {
        for (int i = 0; i < 200; ++i) table.Slot(2).SetUidText(i % 2 ? "7" : "8");
    });
    a.join();
    b.join();
    registry.join();
    done = true;
    window.join();
    EXPECT_EQ(ain(123, 0), 12.3f);
    EXPECT_EQ(ain(5, 1), 2.0f);
    EXPECT_GE(rxCount.load(), 400);
}

}  // namespace
