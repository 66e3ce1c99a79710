#include "server/StartTcpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/RtuTable.h"
#include "tests/server/ServerFixture.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempWorkingDirectory.h"

namespace servertest {
namespace {

class RecordingRawDataList final : public IRawDataList {
public:
    void AddLine(const char* text) override {
        std::lock_guard guard(lock);
        lines.emplace_back(text);
    }
    int Count() override {
        std::lock_guard guard(lock);
        return static_cast<int>(lines.size());
    }
    void Clear() override {
        std::lock_guard guard(lock);
        lines.clear();
    }
    std::size_t Occurrences(const std::string& line) {
        std::lock_guard guard(lock);
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
    }

private:
    std::mutex lock;
    std::vector<std::string> lines;
};

class IgnoredStatePage final : public IStatePage {
public:
    void PostCommand(std::uint32_t) override {}
};

class RecordingStatusLine final : public IStatusLine {
public:
    void SetText(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// The start-up in a directory of its own, with the status words in "./rtu_ui.ini".
class StartTcpServerTest : public ::testing::Test {
protected:
    void SetUp() override { directory.Write("rtu_ui.ini", kStatusTitles); }

    int Start(int port, int timeoutSeconds) {
        return StartTcpServer(port, timeoutSeconds, ServerReferences{&rawDataList, &statePage, nullptr}, messageBox,
                              statusLine, running);
    }
    std::uint16_t BoundPort() { return running.server->Table().BoundPort(); }

    TempWorkingDirectory directory;
    RecordingRawDataList rawDataList;
    IgnoredStatePage statePage;
    FakeMessageBox messageBox;
    RecordingStatusLine statusLine;
    RunningServer running;
};

TEST_F(StartTcpServerTest, TimeoutZeroShowsAndUses600) {
    EXPECT_EQ(Start(0, 0), 1);
    ASSERT_NE(running.server, nullptr);
    EXPECT_EQ(statusLine.texts,
              std::vector<std::string>{"Listening on 0, connections 100, workers 120, idle time-out 600 s"});
    EXPECT_EQ(running.server->TimeoutChecker().TimeoutSeconds(), 600u);
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(StartTcpServerTest, TimeoutThreeShowsThreeAndChecksAfterFive) {
    Start(0, 3);
    ASSERT_EQ(statusLine.texts.size(), 1u);
    EXPECT_EQ(statusLine.texts[0], "Listening on 0, connections 100, workers 120, idle time-out 3 s");
    EXPECT_EQ(running.server->TimeoutChecker().TimeoutSeconds(), 5u);
}

TEST_F(StartTcpServerTest, PortInUseShowsTheBindErrorWithTheStopIcon) {
    std::uint16_t taken = 0;
    int holder = loopback::Listen(&taken);
    EXPECT_EQ(Start(taken, 600), 1);
    close(holder);
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].text, "server socket failed to bind on given port.");
    EXPECT_EQ(messageBox.shown[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(statusLine.texts.empty());
    EXPECT_EQ(running.server, nullptr);
    EXPECT_EQ(running.handler, nullptr);
}

TEST_F(StartTcpServerTest, ChunksReachTheCoreAndItsRawDataList) {
    Start(0, 600);
    int client = loopback::Connect(BoundPort());
    ASSERT_GE(client, 0);
    std::int32_t before = rxCount.load();
    // Unit 123, function 10, RTU time, channel 01, state 1, value 12.34.
    ASSERT_TRUE(loopback::SendText(client, std::string("$00000123AB10") + "20261207120000" + "01" + "1" + "12.34$"));
    EXPECT_TRUE(WaitUntil([&] { return rxCount.load() > before && rawDataList.Count() > 0; }));
    close(client);
}

TEST_F(StartTcpServerTest, ModbusReadIsAnsweredOnTheSameConnection) {
    LiveRtuTable().Slot(0).SetUidText("123");
    LiveRtuTable().Slot(0).SetModel(402);
    Start(0, 600);
    int client = loopback::Connect(BoundPort());
    ASSERT_GE(client, 0);
    // Transaction 0x0102, protocol 0, length 6, unit 123, read holding registers from 1000, count 1.
    const std::string request("\x01\x02\x00\x00\x00\x06\x7B\x03\x03\xE8\x00\x01", 12);
    ASSERT_TRUE(loopback::SendText(client, request));
    std::string reply = loopback::Receive(client, kGenerousMs);
    ASSERT_GE(reply.size(), 8u);
    EXPECT_EQ(reply.substr(0, 4), request.substr(0, 4));
    EXPECT_EQ(static_cast<std::uint8_t>(reply[6]), 0x7B);
    close(client);
}

// A Modbus/TCP read of `count` holding registers from 1000 of unit 123, with its transaction id.
std::string ReadRequest(int transaction, int count) {
    const char request[] = {static_cast<char>(transaction >> 8),
                            static_cast<char>(transaction & 0xff),
                            0,
                            0,
                            0,
                            6,
                            0x7B,
                            0x03,
                            0x03,
                            static_cast<char>(0xE8),
                            0,
                            static_cast<char>(count)};
    return std::string(request, sizeof request);
}

// A master's stream of 1,000 reads on one connection, a hundred sent at a time without waiting:
// each is answered once, in the order sent, with the size its own count asks for.
TEST_F(StartTcpServerTest, ThousandReadsOnOneConnectionAreAnsweredInOrder) {
    LiveRtuTable().Slot(0).SetUidText("123");
    LiveRtuTable().Slot(0).SetModel(402);
    Start(0, 600);
    int client = loopback::Connect(BoundPort());
    ASSERT_GE(client, 0);
    constexpr int kBatches = 10;
    constexpr int kBatchSize = 100;
    for (int batch = 0; batch < kBatches; ++batch) {
        std::string requests;
        std::size_t replyBytes = 0;
        for (int i = batch * kBatchSize; i < (batch + 1) * kBatchSize; ++i) {
            requests += ReadRequest(i, 1 + i % 8);
            replyBytes += 9 + 2 * (1 + i % 8);
        }
        ASSERT_TRUE(loopback::SendText(client, requests));
        std::string replies;
        while (replies.size() < replyBytes) {
            const std::string more = loopback::Receive(client, kGenerousMs);
            if (more.empty()) break;
            replies += more;
        }
        ASSERT_EQ(replies.size(), replyBytes) << "batch " << batch;
        std::size_t at = 0;
        for (int i = batch * kBatchSize; i < (batch + 1) * kBatchSize; ++i) {
            const std::uint8_t* reply = reinterpret_cast<const std::uint8_t*>(replies.data() + at);
            const int count = 1 + i % 8;
            ASSERT_EQ((reply[0] << 8) | reply[1], i);
            EXPECT_EQ(reply[6], 0x7B);
            EXPECT_EQ(reply[7], 0x03);
            EXPECT_EQ(reply[8], 2 * count) << "read " << i;
            at += 9 + 2 * count;
        }
    }
    close(client);
}

// Twenty connections at once, each with a frame cut in two: every frame is decoded once, whole,
// on its own connection; a connection that closes while holding a piece has it dropped and counted.
TEST_F(StartTcpServerTest, FramesCutAcrossReceivesAreDecodedOnceOnEachConnection) {
    LiveRtuTable().Slot(0).SetUidText("5");
    LiveRtuTable().Slot(0).SetModel(402);
    Start(0, 600);
    std::vector<int> clients;
    std::vector<std::string> frames;
    for (int c = 0; c < 20; ++c) {
        frames.push_back(
            "$00000005AB10"
            "20261207120000"
            "0" +
            std::to_string(c % 8) + "1" + std::to_string(c + 1) + ".00$");
        clients.push_back(loopback::Connect(BoundPort()));
        ASSERT_GE(clients.back(), 0);
        ASSERT_TRUE(loopback::SendText(clients.back(), frames.back().substr(0, 10 + c)));
    }
    const int leaving = loopback::Connect(BoundPort());
    ASSERT_TRUE(loopback::SendText(leaving, frames[0].substr(0, 20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::int32_t unknownBefore = unknowCount.load();
    close(leaving);
    const std::string read("\x01\x02\x00\x00\x00\x06\x05\x03\x03\xE8\x00\x08", 12);
    for (int c = 0; c < 20; ++c) ASSERT_TRUE(loopback::SendText(clients[c], frames[c].substr(10 + c) + read));
    for (int c = 0; c < 20; ++c) {
        std::string reply;
        while (reply.size() < 25) {
            const std::string more = loopback::Receive(clients[c], kGenerousMs);
            if (more.empty()) break;
            reply += more;
        }
        EXPECT_EQ(reply.size(), 25u) << "connection " << c;
        close(clients[c]);
    }
    for (int c = 0; c < 20; ++c) {
        // The frame's text line runs to the first zero byte: into the read's transaction id.
        EXPECT_EQ(rawDataList.Occurrences(frames[c] + "\x01\x02"), 1u) << frames[c];
    }
    EXPECT_TRUE(WaitUntil([&] { return rawDataList.Occurrences("Drop unfinished frame: 20 bytes") == 1; }));
    EXPECT_GE(unknowCount.load(), unknownBefore + 1);
}

}  // namespace
}  // namespace servertest
