// Frames through the telemetry core into the database: every reading a frame carries is a row in
// its channel table and in FULLRCDS.
#include "tests/storage/StorageFixture.h"

#include <atomic>

#include "core/TelemetryCore.h"
#include "storage/HistoryRecorder.h"
#include "storage/Schema.h"

namespace {

class CountingRawDataList final : public IRawDataList {
public:
    void AddLine(const char*) override { ++count; }
    int Count() override { return count; }
    void Clear() override { count = 0; }

private:
    std::atomic<int> count{0};
};

class IgnoredStatePage final : public IStatePage {
public:
    void PostCommand(std::uint32_t) override {}
};

class IgnoredReplyPath final : public IReplyPath {
public:
    bool Send(const std::uint8_t*, std::size_t) override { return true; }
    void Release() override {}
};

// Unit 123 registered in a live table of the test's own, with its tables in the database.
class DecoderHistoryFixture : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        Connect();
        Exec(kFullRcdsCreation);
        CreateChannelTables(db, "123");
        table.Slot(0).SetUidText("123");
        core.SetRtuTable(table);
        core.SetCountersPath((home_ / "counters.txt").string());
        core.SetRawDataList(&list);
        core.SetStatePage(&page);
        core.SetHistoryWriter(&recorder);
    }

    void Send(const std::string& chunk) {
        std::string terminated = chunk + '\0';
        core.DecodeChunk(reinterpret_cast<const std::uint8_t*>(terminated.data()),
                         static_cast<std::uint32_t>(chunk.size()), reply);
    }

    // Rows in each of the eight tables "123_<name>0" ... "123_<name>7".
    std::vector<int> RowsPerChannel(const std::string& name) {
        std::vector<int> counts;
        for (int i = 0; i < 8; ++i) counts.push_back(Count("123_" + name + std::to_string(i)));
        return counts;
    }

    RtuTable table;
    TelemetryCore core;
    CountingRawDataList list;
    IgnoredStatePage page;
    IgnoredReplyPath reply;
    CHistoryRecorder recorder{&db};
};

using DecoderHistoryTest = OnEachEngine<DecoderHistoryFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, DecoderHistoryTest, EachEngine(), EngineName);

TEST_P(DecoderHistoryTest, EightItemAnalogueFrameStoresEightPlusEightRows) {
    Send("$00000123AB22201404111230000810.50,11.50,12.50,13.50,14.50,15.50,16.50,17.50,$");

    EXPECT_EQ(RowsPerChannel("AIN"), std::vector<int>(8, 1));
    EXPECT_EQ(Count("FULLRCDS WHERE RDATACH LIKE 'AIN%'"), 8);
    EXPECT_EQ(Column("SELECT RVALUE FROM 123_AIN7"), std::vector<std::string>{"7.5"});
    EXPECT_TRUE(LogLines().empty());
}

TEST_P(DecoderHistoryTest, EightInputDigitalFrameStoresEightPlusEightRows) {
    Send(
        "$00000123AB2020140411123000"
        "08"
        "10110100$");

    EXPECT_EQ(RowsPerChannel("DIN"), std::vector<int>(8, 1));
    EXPECT_EQ(Count("FULLRCDS WHERE RDATACH LIKE 'DIN%'"), 8);
    EXPECT_EQ(Column("SELECT RVALUE FROM 123_DIN2"), std::vector<std::string>{"1"});
    EXPECT_EQ(Column("SELECT RVALUE FROM 123_DIN1"), std::vector<std::string>{"0"});
}

TEST_P(DecoderHistoryTest, BothFramesInOneChunkLoseNothing) {
    Send(
        "$00000123AB2020140411123000"
        "08"
        "10110100$"
        "$00000123AB22201404111230000810.50,11.50,12.50,13.50,14.50,15.50,16.50,17.50,$");
    EXPECT_EQ(Count("FULLRCDS"), 16);
}

TEST_P(DecoderHistoryTest, QuoteInTheFrameTimeIsStoredIntact) {
    Send(
        "$00000123AB102014'411123'00011"
        "12.34$");

    EXPECT_EQ(Column("SELECT RTIME FROM 123_AIN1"), std::vector<std::string>{"2014'411123'00"});
    EXPECT_EQ(Column("SELECT RTIME FROM FULLRCDS"), std::vector<std::string>{"2014'411123'00"});
}

}  // namespace
