#include "server/ServerStatusLine.h"

#include <gtest/gtest.h>

#include "core/ModbusMode.h"

#include "tests/support/TempWorkingDirectory.h"

namespace {

TEST(ServerStatusLineTest, WordsComeFromTheTitlesSection) {
    TempWorkingDirectory directory;
    directory.Write("rtu_ui.ini", kStatusTitles);
    EXPECT_EQ(ComposeServerStatusLine(502, 600), "Listening on 502, connections 100, workers 120, idle time-out 600 s");
}

TEST(ServerStatusLineTest, StandardModbusIsShown) {
    TempWorkingDirectory directory;
    directory.Write("rtu_ui.ini", kStatusTitles);
    modbusMode = ModbusMode::kStandard;
    const std::string line = ComposeServerStatusLine(502, 600);
    modbusMode = ModbusMode::kClassic;
    EXPECT_EQ(line, "Listening on 502, connections 100, workers 120, idle time-out 600 s, Modbus standard");
}

TEST(ServerStatusLineTest, MissingFileLeavesOnlyTheNumbers) {
    TempWorkingDirectory directory;
    EXPECT_EQ(ComposeServerStatusLine(0, 3), " 0,  100,  120,  3 ");
}

TEST(ServerStatusLineTest, LongWordsAreCutAtTheLineLimit) {
    TempWorkingDirectory directory;
    std::string word(200, 'w');
    directory.Write("rtu_ui.ini", "[Titles]\nSVRSTART=" + word + "\nSVRCONN=" + word + "\nSVRTHEAD=" + word + "\n");
    std::string line = ComposeServerStatusLine(502, 600);
    EXPECT_EQ(line.size(), 255u);
    EXPECT_EQ(line.substr(0, word.size() + 6), word + " 502, ");
}

}  // namespace
