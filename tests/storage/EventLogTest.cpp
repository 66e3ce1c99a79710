#include "storage/EventLog.h"

#include "tests/support/CalendarTime.h"
#include "tests/support/TempWorkingDirectory.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override { path_ = dir_.Path() / "Log.txt"; }
    void TearDown() override { log_.Close(); }

    std::vector<std::string> Lines() const {
        std::ifstream in(path_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    TempDirectory dir_{"telvorn-log"};
    std::filesystem::path path_;
    EventLogFile log_;
};

TEST_F(EventLogTest, FailureLineCarriesDayFirstTimePrefix) {
    EXPECT_EQ(FormatLogLine(Calendar(2014, 4, 11, 9, 5, 7), "Write Data To 12_AIN3 Channel 3 fail\n"),
              "11-04-2014 09:05:07: Write Data To 12_AIN3 Channel 3 fail\n");
}

TEST_F(EventLogTest, MissingFileIsCreated) {
    ASSERT_TRUE(log_.Open(path_.c_str()));
    EXPECT_GT(log_.Write("Write Data To FullRcds Table fail\n", Calendar(2014, 4, 11, 9, 5, 7)), 0);
    EXPECT_EQ(Lines(), std::vector<std::string>{"11-04-2014 09:05:07: Write Data To FullRcds Table fail"});
}

TEST_F(EventLogTest, NewLinesAreAppendedAfterOldOnes) {
    std::ofstream(path_) << "old line\n";
    ASSERT_TRUE(log_.Open(path_.c_str()));
    log_.Write("new line\n", Calendar(2014, 4, 11, 9, 5, 7));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"old line", "11-04-2014 09:05:07: new line"}));
}

TEST_F(EventLogTest, LineIsOnDiskWhenWriteReturns) {
    ASSERT_TRUE(log_.Open(path_.c_str()));
    log_.Write("flushed\n");
    ASSERT_EQ(Lines().size(), 1U);
    EXPECT_TRUE(std::regex_match(Lines()[0], std::regex(R"(\d{2}-\d{2}-\d{4} \d{2}:\d{2}:\d{2}: flushed)")));
}

TEST_F(EventLogTest, ClosedLogWritesNothing) {
    EXPECT_EQ(log_.Write("lost\n"), 0);
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(EventLogTest, UnopenableLogStaysClosed) {
    EXPECT_FALSE(log_.Open((dir_.Path() / "missing" / "Log.txt").c_str()));
    EXPECT_EQ(log_.Write("lost\n"), 0);
}

TEST_F(EventLogTest, OverlongTextIsCutToTheAreaAndKeepsItsLineEnd) {
    const std::string text = std::string(1000, 'x') + "\n";
    const std::string line = FormatLogLine(Calendar(2014, 4, 11, 9, 5, 7), text.c_str());
    EXPECT_EQ(line.size(), kLogLineSize - 1);
    EXPECT_EQ(line.back(), '\n');
    ASSERT_TRUE(log_.Open(path_.c_str()));
    log_.Write(text.c_str());
    log_.Write("next\n");
    ASSERT_EQ(Lines().size(), 2U);
    EXPECT_NE(Lines()[1].find(": next"), std::string::npos);
}

TEST_F(EventLogTest, LinesFromSeveralThreadsStayWhole) {
    ASSERT_TRUE(log_.Open(path_.c_str()));
    constexpr int kThreads = 4;
    constexpr int kLines = 250;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([this, t] {
            const std::string text = "Write Data To " + std::to_string(t) + "_AIN3 Channel 3 fail\n";
            for (int i = 0; i < kLines; ++i) log_.Write(text.c_str());
        });
    for (auto& writer : writers) writer.join();
    const std::regex whole(R"(\d{2}-\d{2}-\d{4} \d{2}:\d{2}:\d{2}: Write Data To \d_AIN3 Channel 3 fail)");
    const auto lines = Lines();
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    for (const auto& line : lines) EXPECT_TRUE(std::regex_match(line, whole)) << line;
}

TEST_F(EventLogTest, ProcessLogIsLogTxtInTheCurrentDirectory) {
    const TempWorkingDirectory working("telvorn-log-cwd");
    path_ = working.Path() / "Log.txt";
    EXPECT_EQ(WriteEventLog("before open\n"), 0);
    OpenEventLog();
    EXPECT_GT(WriteEventLog("Write Data To FullRcds Table fail\n"), 0);
    ASSERT_EQ(Lines().size(), 1U);
    EXPECT_NE(Lines()[0].find(": Write Data To FullRcds Table fail"), std::string::npos);
}

}  // namespace
