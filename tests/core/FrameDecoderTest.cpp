// The chunk entry and the frame loop: what every chunk logs, how frames follow each other,
// echoes, and what happens at the edges of the received bytes.
#include <gtest/gtest.h>

#include "tests/core/CoreFixture.h"

namespace {

class FrameDecoder : public CoreTest {
protected:
    FrameDecoder() { registerRtu(0, "123", 403); }
};

TEST_F(FrameDecoder, ExampleFrameSetsAinAndLogsInOrder) {
    const std::string f = frame(123, "10", "01", "112.34");
    const int chunksBefore = rxCount.load();
    const int unknownBefore = unknowCount.load();  // a well-formed frame leaves it as it was
    send(f);
    EXPECT_EQ(ain(123, 1), 12.3f);
    const std::vector<std::string> expected = {
        "\r\n",
        "Rx=" + std::to_string(chunksBefore + 1) + ",UnKnow=" + std::to_string(unknownBefore) + "\r\n",
        "24 30 30 30 30 30 31 32 33 30 30 31 30 32 30 31 34 30 34 31 31 31 32 33 30 30 30 30 31 31 31 32 2e 33 34 24 ",
        f,
        "Register#1002 set value=123\n",
        "Update AIN1 12.30, State:1\r\n",
        "VUDOV: UID123, FN=10, CHANNEL=1, TIMESTAMP=20140411123000",
    };
    EXPECT_EQ(lines(), expected);
    ASSERT_EQ(history().size(), 1u);
    const HistoryCall call = history()[0];
    EXPECT_EQ(call.unit, 123);
    EXPECT_EQ(call.channel, "AIN");
    EXPECT_EQ(call.number, 1);
    EXPECT_DOUBLE_EQ(call.value, 123 * 0.1);
    EXPECT_EQ(call.rtuTime, "20140411123000");
    EXPECT_EQ(call.state, 1);
    EXPECT_EQ(statePage.refreshes, 1);
    EXPECT_TRUE(sent().empty());
}

TEST_F(FrameDecoder, UnitIdUsesLow16Bits) {
    registerRtu(1, "1");
    send(frame(65537, "10", "00", "105.00"));
    EXPECT_EQ(ain(1, 0), 5.0f);
    EXPECT_TRUE(logged("VUDOV: UID1, FN=10, CHANNEL=0, TIMESTAMP=20140411123000"));
}

TEST_F(FrameDecoder, BackToBackFramesAreBothDecodedAndEachEchoStartsAtChunkStart) {
    echoServer = 1;
    const std::string first = frame(123, "10", "00", "101.00");
    const std::string second = frame(123, "10", "02", "102.00");
    send(first + second);
    EXPECT_EQ(ain(123, 0), 1.0f);
    EXPECT_EQ(ain(123, 2), 2.0f);
    ASSERT_EQ(sent().size(), 2u);
    // Each echo runs up to the frame's end mark, which the next frame's scan starts from.
    EXPECT_EQ(sent()[0], ToBytes(first.substr(0, first.size() - 1)));
    EXPECT_EQ(sent()[1], ToBytes(first + second.substr(0, second.size() - 1)));
    EXPECT_TRUE(logged("VUDOV: Echo Tcp"));
}

TEST_F(FrameDecoder, ModbusRequestAfterFrameIsAnswered) {
    registerRtu(1, "5");
    std::string chunk = frame(123, "10", "00", "101.00");
    const Bytes read = {0x00, 0x07, 0, 0, 0, 6, 5, 0x03, 0x03, 0xE8, 0x00, 0x01};
    Bytes bytes = ToBytes(chunk);
    bytes.insert(bytes.end(), read.begin(), read.end());
    send(bytes);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], (Bytes{0x00, 0x07, 0, 0, 0, 5, 5, 0x03, 2, 0x00, 0x00}));
    EXPECT_EQ(ain(123, 0), 1.0f);
}

TEST_F(FrameDecoder, ModbusWriteAfterFrameCarriesFrameTimestamp) {
    registerRtu(1, "5");
    Bytes bytes = ToBytes(frame(123, "10", "00", "101.00", "20991231235959"));
    const Bytes write = {0, 1, 0, 0, 0, 6, 5, 0x06, 0x03, 0xE8, 0x00, 0x2A};
    bytes.insert(bytes.end(), write.begin(), write.end());
    send(bytes);
    ASSERT_EQ(history().size(), 2u);
    EXPECT_EQ(history()[1].channel, "AIN");
    EXPECT_EQ(history()[1].rtuTime, "20991231235959");
    EXPECT_EQ(history()[1].state, 0);
}

TEST_F(FrameDecoder, UnknownFunctionIsCountedLoggedAndEchoed) {
    echoServer = 1;
    const int unknownBefore = unknowCount.load();
    const std::string f = frame(123, "99", "00", "1");
    send(f);
    EXPECT_EQ(unknowCount.load(), unknownBefore + 1);
    EXPECT_TRUE(logged("VUDOV: UID123, FN=99, CHANNEL=0, TIMESTAMP=20140411123000"));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], ToBytes(f.substr(0, 29)));
}

TEST_F(FrameDecoder, FullRawDataListIsEmptiedBeforeNextChunk) {
    for (int i = 0; i < 1001; ++i) rawData.AddLine("old");
    send(frame(123, "10", "00", "101.00"));
    ASSERT_FALSE(lines().empty());
    EXPECT_EQ(lines()[0], "\r\n");
    EXPECT_FALSE(logged("old"));
}

TEST_F(FrameDecoder, ListOfExactlyThousandLinesIsKept) {
    for (int i = 0; i < 1000; ++i) rawData.AddLine("old");
    send(frame(123, "10", "00", "101.00"));
    EXPECT_EQ(lines()[0], "old");
}

TEST_F(FrameDecoder, HexDumpShowsAtMost342Bytes) {
    send(Bytes(400, 0x41));
    const std::vector<std::string> l = lines();
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[2].size(), 342u * 3);
    EXPECT_EQ(l[2].substr(0, 6), "41 41 ");
}

TEST_F(FrameDecoder, TimeRequestIsAnsweredWithLocalTime) {
    send(frame(123, "83", "00", ""));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], ToBytes("$00000123SC8314/04/11 12:30$"));
}

TEST_F(FrameDecoder, FailedTimeReplyDoesNotStopDecoding) {
    reply.failSends = true;
    send(frame(123, "83", "00", "") + frame(123, "10", "03", "104.00"));
    EXPECT_EQ(ain(123, 3), 4.0f);
    EXPECT_EQ(reply.releases, 0);  // the reply path releases the connection itself
}

TEST_F(FrameDecoder, WithoutStatePageNothingChangesButFirstLineIsLogged) {
    core.SetStatePage(nullptr);
    send(frame(123, "10", "01", "112.34"));
    EXPECT_EQ(ain(123, 1), 0.0f);
    EXPECT_TRUE(logged("Register#1002 set value=123\n"));
    EXPECT_FALSE(logged("Update AIN1 12.30, State:1\r\n"));
    EXPECT_TRUE(history().empty());
}

TEST_F(FrameDecoder, WithoutRawDataListNothingChanges) {
    core.SetRawDataList(nullptr);
    send(frame(123, "10", "01", "112.34"));
    EXPECT_EQ(ain(123, 1), 0.0f);
    EXPECT_TRUE(history().empty());
}

TEST_F(FrameDecoder, UnregisteredUnitOnlyLogsFirstLine) {
    send(frame(124, "10", "01", "112.34"));
    EXPECT_EQ(updateLines(), (std::vector<std::string>{"Register#1002 set value=123\n"}));
    EXPECT_FALSE(logged("Update AIN1 12.30, State:1\r\n"));
    EXPECT_TRUE(history().empty());
    EXPECT_EQ(statePage.refreshes, 0);
}

TEST_F(FrameDecoder, LoneStartMarkReadsZerosAndEnds) {
    const int unknownBefore = unknowCount.load();
    send(std::string("$"));
    // Function characters past the end read as zero bytes: FN 0xD0, which no handler serves.
    EXPECT_EQ(unknowCount.load(), unknownBefore + 1);
    EXPECT_TRUE(logged("VUDOV: UID0, FN=D0, CHANNEL=65008, TIMESTAMP="));
}

TEST_F(FrameDecoder, NumberRunningPastTheEndIsEchoedOnlyUpToTheEnd) {
    echoServer = 1;
    const std::string f = frame(123, "10", "00", "1").substr(0, 30) + "7.";  // no decimals, no end mark
    send(f);
    EXPECT_EQ(ain(123, 0), 7.0f);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], ToBytes(f));
}

TEST_F(FrameDecoder, ChunkWithoutDollarIsModbus) {
    send(Bytes{0, 1, 0, 1, 0, 0, 0, 0});
    EXPECT_TRUE(logged("Decode ModTcp: 0 8"));
    EXPECT_FALSE(logged("VUDOV: UID0, FN=00, CHANNEL=0, TIMESTAMP="));
}

}  // namespace
