// Counter reports with position: the channel updates and the counters-file line.
#include <gtest/gtest.h>

#include <thread>

#include "core/CounterReport.h"
#include "tests/core/CoreFixture.h"

namespace {

class CounterReport : public CoreTest {
protected:
    CounterReport() { registerRtu(0, "123", 403); }
};

TEST_F(CounterReport, AppliesCountersAndAppendsLine) {
    send(frame(123, "32", "02", "112.34,05.00,GPRMC,4807.038,N,01131.000,E,"));
    EXPECT_EQ(updateLines(),
              (std::vector<std::string>{"Register#1301 set value=1234\n", "Register#1302 set value=500\n"}));
    EXPECT_EQ(rtu(123).ecounter[0], 12.34f);
    EXPECT_EQ(countersFileText(), "00000123,2014041112300012.34,5.00,4807.038000,1131.000000\r\n");
}

TEST_F(CounterReport, LinesAreAppended) {
    send(frame(123, "32", "01", "11.00,"));
    send(frame(123, "32", "01", "12.00,"));
    EXPECT_EQ(countersFileText(),
              "00000123,201404111230001.00,0.000000,0.000000\r\n00000123,201404111230002.00,0.000000,0.000000\r\n");
}

// A CR or LF inside the timestamp or the unit id must not start a second line of the file.
TEST_F(CounterReport, ControlCharactersFromTheFrameNeverReachTheFile) {
    send(frame(123, "32", "01", "11.00,",
               "2014\r\n0000\x1b"
               "999"));
    send(frame(123, "32", "01", "12.00,"));
    EXPECT_EQ(countersFileText(),
              "00000123,2014??0000?9991.00,0.000000,0.000000\r\n00000123,201404111230002.00,0.000000,0.000000\r\n");
    EXPECT_EQ(rtu(123).ecounter[0], 2.0f);
}

TEST_F(CounterReport, UnwritableCountersFileStillAppliesCounters) {
    core.SetCountersPath((directory.Path() / "missing" / "counters.txt").string());
    send(frame(123, "32", "01", "17.00,"));
    EXPECT_EQ(rtu(123).ecounter[0], 7.0f);
}

TEST_F(CounterReport, LinesFromTwoConnectionsNeverInterleave) {
    registerRtu(1, "124", 403);
    const std::string first = frame(123, "32", "03", "11.00,12.00,13.00,GPRMC,4807.038,N,01131.000,E,");
    const std::string second = frame(124, "32", "02", "19.00,18.00,");
    constexpr int kReports = 150;
    auto run = [this](const std::string& f) {
        RecordingReplyPath path;
        for (int i = 0; i < kReports; ++i) send(ToBytes(f), path);
    };
    std::thread a(run, first);
    std::thread b(run, second);
    a.join();
    b.join();
    const std::string lineA = "00000123,201404111230001.00,2.00,3.00,4807.038000,1131.000000\r\n";
    const std::string lineB = "00000124,201404111230009.00,8.00,0.000000,0.000000\r\n";
    const std::string text = countersFileText();
    int a_count = 0, b_count = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        if (text.compare(pos, lineA.size(), lineA) == 0) {
            ++a_count;
            pos += lineA.size();
        } else if (text.compare(pos, lineB.size(), lineB) == 0) {
            ++b_count;
            pos += lineB.size();
        } else {
            FAIL() << "broken line at " << pos;
        }
    }
    EXPECT_EQ(a_count, kReports);
    EXPECT_EQ(b_count, kReports);
}

struct GpsRow {
    const char* text;
    double latitude;
    double longitude;
};

class GpsScan : public ::testing::TestWithParam<GpsRow> {};

TEST_P(GpsScan, ReadsPositionAsReceived) {
    const std::string text = GetParam().text;
    const GpsPosition p =
        ScanGpsPosition(ChunkView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0);
    EXPECT_DOUBLE_EQ(p.latitude, GetParam().latitude) << text;
    EXPECT_DOUBLE_EQ(p.longitude, GetParam().longitude) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, GpsScan,
    ::testing::Values(GpsRow{"GPRMC,4807.038,N,01131.000,E,", 4807.038, 1131.0},
                      GpsRow{"xxGPGGA,12.5,S,3.25,W,", 12.5, 3.25},
                      GpsRow{"GPRMC,4807.038,N,01131.000", 4807.038, 0.0},  // longitude without comma
                      GpsRow{"GPRMC,4807.03812345678,N,1.0,", 0.0, 78.0},  // latitude comma too far: scan goes on at 20
                      GpsRow{"GPRMC,V,4807.038,N,", 0.0, 0.0},             // no digit after the name
                      GpsRow{"no sentence here", 0.0, 0.0},
                      GpsRow{"                                                            G", 0.0, 0.0}));

}  // namespace
