#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/platform/completionport/LoopbackSockets.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ReadFile.h"
#include "tests/support/TempWorkingDirectory.h"

namespace {

constexpr int kGenerousMs = 30000;
const char* const kStatusLine = "Listening on 0, connections 100, workers 120, idle time-out 600 s";

// A directory with the two INI files the runner reads, made current for the child.
class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory.Write("data_rtu.ini", "[SYSCONFIG]\nPORT=0\nTCPTO=0\nECHOSERVER=1\n[HTTP]\nLISTEN=\n");
        directory.Write("rtu_ui.ini", kStatusTitles);
    }
    TempWorkingDirectory directory;
};

TEST_F(HeadlessTest, ServesFramesAndPrintsTracesAndRawDataUntilTerminated) {
    ChildProcess headless(TELVORN_HEADLESS, {"--rtu", "123:402"});
    ASSERT_TRUE(headless.WaitForOutput(kStatusLine));
    EXPECT_TRUE(headless.WaitForOutput("Creating \"socket_listener\" ... DONE"));
    std::uint16_t port = headless.ListeningPort();
    ASSERT_NE(port, 0);

    int client = loopback::Connect(port);
    ASSERT_GE(client, 0);
    EXPECT_TRUE(headless.WaitForOutput("Socket created at "));
    // Unit 123, function 10, RTU time, channel 01, state 1, value 12.34.
    ASSERT_TRUE(loopback::SendText(client, std::string("$00000123AB10") + "20261207120000" + "01" + "1" + "12.34$"));
    EXPECT_FALSE(loopback::Receive(client, kGenerousMs).empty()) << "ECHOSERVER=1 echoes the frame";
    EXPECT_TRUE(headless.WaitForOutput("AIN1 12.30"));
    for (const std::string& line : headless.Output()) {
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
    }
    close(client);
    EXPECT_TRUE(headless.WaitForOutput("CloseSocket request "));
    EXPECT_EQ(headless.StopWith(SIGTERM), 0);
}

TEST_F(HeadlessTest, InterruptWhileConnectionsAreBusyExitsZero) {
    ChildProcess headless(TELVORN_HEADLESS, {});
    ASSERT_TRUE(headless.WaitForOutput(kStatusLine));
    std::uint16_t port = headless.ListeningPort();
    std::vector<int> clients;
    for (int i = 0; i < 10; ++i) {
        int client = loopback::Connect(port);
        ASSERT_GE(client, 0);
        loopback::SendText(client, "$00000123AB10202612071200000112.34$");
        clients.push_back(client);
    }
    EXPECT_EQ(headless.StopWith(SIGINT), 0);
    for (int client : clients) {
        close(client);
    }
}

// Nobody reads standard output: raw-data lines pile up, yet readings are decoded and answered;
// the lines that did not fit are counted, and the count is shown once output is read again.
TEST_F(HeadlessTest, UnreadStandardOutputNeverHoldsUpDecoding) {
    directory.Write("data_rtu.ini", "[SYSCONFIG]\nPORT=0\n[HTTP]\nLISTEN=\n");
    ChildProcess headless(TELVORN_HEADLESS, {"--rtu", "123:402"}, false);
    std::uint16_t port = 0;
    for (int waited = 0; port == 0 && waited < kGenerousMs; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        port = headless.ListeningPort();
    }
    ASSERT_NE(port, 0);
    // 110 frames of an unknown unit per send: each send logs about 200 KB.
    std::string burst;
    for (int i = 0; i < 110; ++i) burst += "$00000999AB102026120712000001111.00$";
    // A connection's chunks are decoded in order: the reply after the flood comes once every line of
    // it has been written or dropped.
    const int rtu = loopback::Connect(port);
    ASSERT_GE(rtu, 0);
    for (int i = 0; i < 25; ++i) ASSERT_TRUE(loopback::SendText(rtu, burst));
    const unsigned char read[] = {0, 1, 0, 0, 0, 6, 123, 3, 0x03, 0xe8, 0, 2};
    ASSERT_TRUE(loopback::SendText(
        rtu, "$00000123AB102026120712000001112.34$" + std::string(reinterpret_cast<const char*>(read), sizeof read)));
    std::string reply;
    while (reply.size() < 13) {
        const std::string more = loopback::Receive(rtu, kGenerousMs);
        if (more.empty()) break;
        reply += more;
    }
    ASSERT_EQ(reply.size(), 13u);
    EXPECT_EQ(reply.substr(9), std::string("\0\0\0\x7b", 4)) << "AIN1 read back as 12.3";

    headless.ReadOutput();
    EXPECT_TRUE(headless.WaitForOutput("lines dropped while standard output was blocked"));
    close(rtu);
    EXPECT_EQ(headless.StopWith(SIGTERM), 0);
}

// A service that serves no RTU fails where its service manager sees it, rather than run on.
TEST_F(HeadlessTest, PortInUseEndsTheProgramWithOneLineOnStandardError) {
    std::uint16_t taken = 0;
    int holder = loopback::Listen(&taken);
    directory.Write("data_rtu.ini", "[SYSCONFIG]\nPORT=" + std::to_string(taken) + "\n");
    ChildProcess headless(TELVORN_HEADLESS, {});
    EXPECT_EQ(headless.WaitExit(), 1);
    EXPECT_TRUE(headless.WaitForError("Telvorn stops: RTU port " + std::to_string(taken) +
                                      " not served: server socket failed to bind on given port."));
    std::size_t lines = 0;
    for (const std::string& line : headless.Errors()) lines += line.find("failed to bind") != std::string::npos;
    EXPECT_EQ(lines, 1u) << "the server's own message is part of the one line";
    close(holder);
}

// Two writers on one spool would lose or duplicate readings: a second server in the same working
// directory ends before it binds a port, and leaves the first's pid file alone.
TEST_F(HeadlessTest, SecondServerInTheSameDirectoryEndsWithOneLineOnStandardError) {
    ChildProcess first(TELVORN_HEADLESS, {});
    ASSERT_TRUE(first.WaitForOutput(kStatusLine));
    const std::string firstPid = ReadFile(directory.Path() / "telvorn-headless.pid");
    ChildProcess second(TELVORN_HEADLESS, {});
    EXPECT_EQ(second.WaitExit(), 1);
    EXPECT_TRUE(second.WaitForError("Telvorn stops: spool ./RTUDB-spool.db is held by another Telvorn process (pid " +
                                    firstPid.substr(0, firstPid.find('\n')) + ")"));
    for (const std::string& line : second.Output()) EXPECT_EQ(line.find("socket_listener"), std::string::npos) << line;
    EXPECT_EQ(ReadFile(directory.Path() / "telvorn-headless.pid"), firstPid);
    EXPECT_EQ(first.StopWith(SIGTERM), 0);
}

// A registration text that holds a line end, a forged "lines dropped" line and a terminal escape
// sequence: each raw-data line stays one line, with its control characters shown as "?".
TEST_F(HeadlessTest, ControlCharactersFromTheNetworkNeverReachStandardOutput) {
    ChildProcess headless(TELVORN_HEADLESS, {"--rtu", "123:402"});
    ASSERT_TRUE(headless.WaitForOutput(kStatusLine));
    const int client = loopback::Connect(headless.ListeningPort());
    ASSERT_GE(client, 0);
    const std::string text = "REG\ntelvorn-headless: 7 lines dropped while standard output was blocked\x1b[2J";
    ASSERT_TRUE(loopback::SendText(client, "$00000123AB452026120712000000" + text + "$"));
    EXPECT_TRUE(headless.WaitForOutput("Update Rtu123 Regist String"));
    EXPECT_TRUE(headless.WaitForOutput("REG?telvorn-headless: 7 lines dropped while standard output was blocked?[2J$"));
    for (const std::string& line : headless.Output()) {
        EXPECT_NE(line.rfind("telvorn-headless:", 0), 0u) << line;
        EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
    }
    close(client);
    EXPECT_EQ(headless.StopWith(SIGTERM), 0);
}

struct TraceCase {
    const char* level;
    bool frameLines;
};
void PrintTo(const TraceCase& traceCase, std::ostream* out) { *out << traceCase.level; }

class TraceLevels : public HeadlessTest, public ::testing::WithParamInterface<TraceCase> {};

// A frame, then a master's read: --trace frames keeps only the frame's lines, --trace none neither.
TEST_P(TraceLevels, LeaveOutTheLinesTheySay) {
    directory.Write("data_rtu.ini", "[SYSCONFIG]\nPORT=0\n[HTTP]\nLISTEN=\n");
    ChildProcess headless(TELVORN_HEADLESS, {"--trace", GetParam().level, "--rtu", "123:402"});
    ASSERT_TRUE(headless.WaitForOutput(kStatusLine));
    const int client = loopback::Connect(headless.ListeningPort());
    ASSERT_GE(client, 0);
    const unsigned char read[] = {0, 1, 0, 0, 0, 6, 123, 3, 0x03, 0xe8, 0, 2};
    ASSERT_TRUE(loopback::SendText(client, "$00000123AB102026120712000001112.34$" +
                                               std::string(reinterpret_cast<const char*>(read), sizeof read)));
    std::string reply;
    while (reply.size() < 13) {
        const std::string more = loopback::Receive(client, kGenerousMs);
        if (more.empty()) break;
        reply += more;
    }
    ASSERT_EQ(reply.size(), 13u);
    EXPECT_EQ(reply.substr(9), std::string("\0\0\0\x7b", 4)) << "the read is served whatever the trace";
    if (GetParam().frameLines) {
        EXPECT_TRUE(headless.WaitForOutput("Update AIN1 12.30"));
    }
    close(client);
    ASSERT_EQ(headless.StopWith(SIGTERM), 0);
    bool frameLines = false;
    for (const std::string& line : headless.Output()) {
        frameLines = frameLines || line.find("Update AIN1 12.30") != std::string::npos;
        for (const char* left : {"Recv Mod TCP", "Decode ModTcp", "Query AIN", "offset = ", "Socket created at"}) {
            EXPECT_EQ(line.find(left), std::string::npos) << line;
        }
    }
    EXPECT_EQ(frameLines, GetParam().frameLines);
}

INSTANTIATE_TEST_SUITE_P(Levels, TraceLevels, ::testing::Values(TraceCase{"frames", true}, TraceCase{"none", false}),
                         [](const auto& info) { return std::string(info.param.level); });

TEST_F(HeadlessTest, UnknownOptionPrintsUsageAndFails) {
    ChildProcess headless(TELVORN_HEADLESS, {"--bogus"});
    EXPECT_TRUE(headless.WaitForError("usage: telvorn-headless"));
    EXPECT_EQ(headless.WaitExit(), 2);
}

}  // namespace
