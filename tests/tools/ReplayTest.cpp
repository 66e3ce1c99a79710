// Runs the built telvorn-replay on captures kept in the tree and compares its whole output.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/ReadFile.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempWorkingDirectory.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = TELVORN_SOURCE_DIR;
const fs::path kCaptures = kSourceDir / "tests/tools/captures";
const fs::path kExpected = kSourceDir / "tests/tools/expected";
const fs::path kSamples = kSourceDir / "samples";

std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs the replay tool with args; stdinFile, when given, becomes its standard input.
CommandResult RunReplay(const std::vector<std::string>& args, const std::string& stdinFile = "") {
    std::string command = Quote(TELVORN_REPLAY);
    for (const auto& arg : args) command += " " + Quote(arg);
    if (!stdinFile.empty()) command += " < " + Quote(stdinFile);
    command += " 2>/dev/null";
    return RunCommand(command);
}

class Replay : public ::testing::Test {
protected:
    Replay() : counters((directory.Path() / "counters.txt").string()) {}

    std::vector<std::string> Options(std::vector<std::string> rtus) const {
        std::vector<std::string> args;
        for (const auto& rtu : rtus) args.insert(args.end(), {"--rtu", rtu});
        args.insert(args.end(), {"--now", "2014-04-11 12:30:00", "--counters", counters});
        return args;
    }

    TempDirectory directory{"telvorn-replay"};
    std::string counters;
};

TEST_F(Replay, ExampleFrame) {
    auto args = Options({"123:403"});
    args.push_back((kSamples / "01-ain-frame.bin").string());
    const CommandResult r = RunReplay(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, ReadFile(kExpected / "example.txt"));
}

TEST_F(Replay, StandardInputIsOneChunk) {
    auto args = Options({"123:403"});
    args.push_back("-");
    const CommandResult r = RunReplay(args, (kSamples / "01-ain-frame.bin").string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, ReadFile(kExpected / "example.txt"));
}

TEST_F(Replay, BundledSamplesWithDump) {
    auto args = Options({"123:403", "5:402"});
    args.push_back("--dump");
    std::vector<fs::path> samples;
    for (const auto& entry : fs::directory_iterator(kSamples)) {
        if (entry.path().extension() == ".bin") samples.push_back(entry.path());
    }
    std::sort(samples.begin(), samples.end());
    ASSERT_FALSE(samples.empty());
    for (const auto& s : samples) args.push_back(s.string());
    const CommandResult r = RunReplay(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, ReadFile(kExpected / "samples.txt"));
    EXPECT_EQ(ReadFile(counters), "00000123,20140411123000150.25,7.00,4807.038000,1131.000000\r\n");
}

TEST_F(Replay, EchoesAndUnknownFunctions) {
    auto args = Options({"123:403"});
    args.push_back("--echo");
    args.push_back((kCaptures / "echo-frames.bin").string());
    args.push_back((kCaptures / "frame-crlf.bin").string());
    const CommandResult r = RunReplay(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, ReadFile(kExpected / "echo.txt"));
}

TEST_F(Replay, BrokenModbusTraffic) {
    auto args = Options({"5:402"});
    for (const char* name : {"unknown-modbus.bin", "truncated-adu.bin", "foreign-protocol.bin"}) {
        args.push_back((kCaptures / name).string());
    }
    const CommandResult r = RunReplay(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, ReadFile(kExpected / "modbus-edges.txt"));
}

// The bundled samples are whole chunks: taken as the receives of one connection they decode
// exactly as each on its own.
TEST_F(Replay, BundledSamplesAsOneConnectionDecodeAsOnTheirOwn) {
    auto args = Options({"123:403", "5:402"});
    args.push_back("--dump");
    args.push_back("--stream");
    std::vector<fs::path> samples;
    for (const auto& entry : fs::directory_iterator(kSamples)) {
        if (entry.path().extension() == ".bin") samples.push_back(entry.path());
    }
    std::sort(samples.begin(), samples.end());
    for (const auto& s : samples) args.push_back(s.string());
    const CommandResult r = RunReplay(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, ReadFile(kExpected / "samples.txt"));
}

TEST_F(Replay, StreamJoinsAFrameCutBetweenFiles) {
    const std::string frame = ReadFile(kSamples / "01-ain-frame.bin");
    std::ofstream(directory.Path() / "a.bin", std::ios::binary) << frame.substr(0, 17);
    std::ofstream(directory.Path() / "b.bin", std::ios::binary) << frame.substr(17) << "\r\n";
    auto args = Options({"123:403"});
    for (const char* name : {"--stream", "a.bin", "b.bin"}) {
        args.push_back(name[0] == '-' ? std::string(name) : (directory.Path() / name).string());
    }
    const CommandResult r = RunReplay(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("\n" + frame + "\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Update AIN1 12.30, State:1"), std::string::npos);
    EXPECT_NE(r.output.find("Drop unfinished ADU: 2 bytes"), std::string::npos);
}

TEST_F(Replay, UnreadableFileFailsButOthersAreDecoded) {
    auto args = Options({"123:403"});
    args.push_back((directory.Path() / "missing.bin").string());
    args.push_back((kSamples / "01-ain-frame.bin").string());
    const CommandResult r = RunReplay(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Update AIN1 12.30, State:1"), std::string::npos);
}

TEST_F(Replay, BadOptionsPrintUsageOnly) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--now", "2014-13-01 00:00:00", "x.bin"},
                                                 {"--rtu", "5:abc", "x.bin"},
                                                 {"--bogus", "x.bin"},
                                                 {"--rtu", "5"}}) {
        const CommandResult r = RunReplay(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.output, "");
    }
}

}  // namespace
