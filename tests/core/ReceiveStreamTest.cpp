// A connection's stream of receives: frames and ADUs cut by the end of a receive are decoded once,
// whole, when the rest arrives; whole chunks decode exactly as on their own; what can never be
// completed is dropped and counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "core/ReceiveStream.h"
#include "core/TextFormat.h"
#include "tests/core/CoreFixture.h"

namespace {

std::uint8_t Byte(unsigned value) { return static_cast<std::uint8_t>(value); }

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Write Multiple Registers (0x10) of two values at `address` on unit 5: 17 bytes.
Bytes WriteTwoRegisters(std::uint16_t tid, std::uint16_t address, std::int16_t a, std::int16_t b) {
    return {static_cast<std::uint8_t>(tid >> 8),
            static_cast<std::uint8_t>(tid),
            0,
            0,
            0,
            11,
            5,
            0x10,
            static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address),
            0,
            2,
            4,
            static_cast<std::uint8_t>(a >> 8),
            static_cast<std::uint8_t>(a),
            static_cast<std::uint8_t>(b >> 8),
            static_cast<std::uint8_t>(b)};
}

// Read Holding Registers (0x03) of unit 5: 12 bytes.
Bytes ReadRegisters(std::uint16_t tid, std::uint16_t address, std::uint16_t quantity) {
    return {static_cast<std::uint8_t>(tid >> 8),
            static_cast<std::uint8_t>(tid),
            0,
            0,
            0,
            6,
            5,
            0x03,
            static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(quantity >> 8),
            static_cast<std::uint8_t>(quantity)};
}

class ReceiveStreamTest : public CoreTest {
protected:
    ReceiveStreamTest() {
        registerRtu(0, "123", 403);
        registerRtu(1, "5", 402);
    }

    // One receive on the connection.
    void receive(const Bytes& bytes) {
        stream.Take(bytes.data(), bytes.size());
        stream.Decode(core, reply);
    }
    void receive(const std::string& text) { receive(ToBytes(text)); }
    // The bytes as receives cut at the given positions.
    void receiveCut(const Bytes& bytes, std::vector<std::size_t> cuts) {
        cuts.push_back(bytes.size());
        std::size_t from = 0;
        for (std::size_t cut : cuts) {
            receive(Bytes(bytes.begin() + from, bytes.begin() + cut));
            from = cut;
        }
    }
    void receiveCut(const std::string& text, std::vector<std::size_t> cuts) { receiveCut(ToBytes(text), cuts); }
    // The bytes in receives of at most `size` bytes.
    void receiveInPieces(const std::string& text, std::size_t size) {
        for (std::size_t at = 0; at < text.size(); at += size) receive(text.substr(at, size));
    }

    std::vector<std::string> ainHistory() {
        std::vector<std::string> values;
        for (const HistoryCall& call : history()) {
            values.push_back(Format("%d %s%d %.2f %s", call.unit, call.channel.c_str(), call.number, call.value,
                                    call.rtuTime.c_str()));
        }
        return values;
    }
    // The lines that say what was decoded: everything except the per-receive counters and dumps.
    std::vector<std::string> decodeLines() {
        std::vector<std::string> kept;
        const std::vector<std::string> all = lines();
        for (std::size_t i = 0; i < all.size(); ++i) {
            const std::string& line = all[i];
            if (line == "\r\n" && i + 2 < all.size() && all[i + 1].rfind("Rx=", 0) == 0) {
                i += 2;
                continue;
            }
            kept.push_back(line);
        }
        return kept;
    }
    void reset() {
        stream.Reset();
        rawData.Clear();
        historyWriter.Clear();
    }

    ReceiveStream stream;
    const std::string ain1 = frame(123, "10", "01", "112.34");
};

// A frame cut before its end mark is only measured: whatever its function does (readings, texts,
// the counters file, the time reply) happens once the rest arrives, never before.
TEST_F(ReceiveStreamTest, CutFrameOfEachFunctionActsOnlyWhenWhole) {
    for (const std::string& whole :
         {ain1, frame(123, "02", "03", "1"), frame(123, "41", "00", "01C11,02R0123.45,"),
          frame(123, "32", "01", "11.00,GPRMC,4807.038,N,01131.000,E,"), frame(123, "35", "00", "xxGPRMC,4807.038,N"),
          frame(123, "45", "00", "RTU-13 v2.1"), frame(123, "83", "00", "")}) {
        reset();
        const std::string counters = countersFileText();
        const int refreshes = statePage.refreshes;
        RecordingReplyPath replies;
        const auto take = [&](std::size_t from, std::size_t to) {
            stream.Take(reinterpret_cast<const std::uint8_t*>(whole.data()) + from, to - from);
            stream.Decode(core, replies);
        };
        take(0, whole.size() - 1);
        EXPECT_EQ(decodeLines(), std::vector<std::string>{}) << whole;
        EXPECT_EQ(replies.Sends(), std::vector<Bytes>{}) << whole;
        EXPECT_EQ(countersFileText(), counters) << whole;
        EXPECT_EQ(statePage.refreshes, refreshes) << whole;
        take(whole.size() - 1, whole.size());
        EXPECT_TRUE(!decodeLines().empty() || !replies.Sends().empty() || countersFileText() != counters) << whole;
    }
}

// Each cut, then the next frame whole: both stored once, each echoed once, nothing counted as unknown.
TEST_F(ReceiveStreamTest, FrameCutAtEachOfItsBoundariesIsStoredOnceWithItsValue) {
    ASSERT_EQ(ain1.size(), 36u);
    const std::string ain2 = frame(123, "10", "02", "145.60");
    echoServer = 1;
    for (std::size_t cut = 1; cut < ain1.size(); ++cut) {
        RecordingReplyPath echoes;
        ReceiveStream split;
        const int unknownBefore = unknowCount.load();
        historyWriter.Clear();
        for (const std::string& piece : {ain1.substr(0, cut), ain1.substr(cut), ain2}) {
            split.Take(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
            split.Decode(core, echoes);
        }
        EXPECT_EQ(ainHistory(),
                  (std::vector<std::string>{"123 AIN1 12.30 20140411123000", "123 AIN2 45.60 20140411123000"}))
            << "cut " << cut;
        EXPECT_EQ(echoes.Sends(), (std::vector<Bytes>{ToBytes(ain1.substr(0, 35)), ToBytes(ain2.substr(0, 35))}))
            << "cut " << cut;
        EXPECT_EQ(unknowCount.load(), unknownBefore) << "cut " << cut;
        EXPECT_EQ(split.Held(), 0u) << "cut " << cut;
    }
}

TEST_F(ReceiveStreamTest, FrameCutInThreeIsStoredOnce) {
    for (std::size_t first = 1; first + 1 < ain1.size(); ++first) {
        for (std::size_t second = first + 1; second < ain1.size(); ++second) {
            reset();
            receiveCut(ain1, {first, second});
            ASSERT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 12.30 20140411123000"}))
                << "cuts " << first << " " << second;
        }
    }
}

TEST_F(ReceiveStreamTest, AduCutAtEachBoundaryIsAppliedAndEchoedOnce) {
    const Bytes write = WriteTwoRegisters(7, 1200, 5, -1);
    for (std::size_t cut = 1; cut < write.size(); ++cut) {
        RecordingReplyPath echoes;
        ReceiveStream split;
        historyWriter.Clear();
        for (const Bytes& piece :
             {Bytes(write.begin(), write.begin() + cut), Bytes(write.begin() + cut, write.end())}) {
            split.Take(piece.data(), piece.size());
            split.Decode(core, echoes);
        }
        EXPECT_EQ(ainHistory(), (std::vector<std::string>{"5 MBUSREG0 5.00 ", "5 MBUSREG1 -1.00 "})) << "cut " << cut;
        EXPECT_EQ(echoes.Sends(), std::vector<Bytes>{write}) << "cut " << cut;
    }
}

// A transaction id may begin with the byte "$": a held ADU stays an ADU.
TEST_F(ReceiveStreamTest, HeldAduWhoseFirstByteIsAStartMark) {
    const Bytes write = WriteTwoRegisters('$' << 8 | '0', 1200, 5, 6);
    receiveCut(Bytes{0, 1, 0, 0, 0, 6, 5, 6, 0x04, 0xb0, 0, 1} + write, {15});
    EXPECT_EQ(ainHistory(), (std::vector<std::string>{"5 MBUSREG0 0.01 ", "5 MBUSREG0 5.00 ", "5 MBUSREG1 6.00 "}));
    EXPECT_EQ(sent().size(), 2u);
}

TEST_F(ReceiveStreamTest, ReadCutAtEachBoundaryIsAnsweredOnce) {
    table.FindRtu(5)->SetAin(1, 0.5);
    const Bytes read = ReadRegisters(9, 1000, 2);
    for (std::size_t cut = 1; cut < read.size(); ++cut) {
        RecordingReplyPath replies;
        ReceiveStream split;
        for (const Bytes& piece : {Bytes(read.begin(), read.begin() + cut), Bytes(read.begin() + cut, read.end())}) {
            split.Take(piece.data(), piece.size());
            split.Decode(core, replies);
        }
        EXPECT_EQ(replies.Sends(), (std::vector<Bytes>{{0, 9, 0, 0, 0, 7, 5, 3, 4, 0, 0, 0, 5}})) << "cut " << cut;
    }
}

// Whole chunks: the same lines, history and replies as decoding each chunk on its own.
TEST_F(ReceiveStreamTest, WholeChunksDecodeExactlyAsOnTheirOwn) {
    echoServer = 1;
    const std::vector<Bytes> chunks = {
        ToBytes(ain1 + frame(123, "99", "00", "1") + frame(123, "83", "00", "")),
        ToBytes(frame(123, "11", "00", "025.50")) + ReadRegisters(1, 1000, 2) + WriteTwoRegisters(2, 1200, 3, 4),
        ReadRegisters(3, 1000, 2) + ReadRegisters(4, 1200, 1),
        ToBytes(frame(123, "35", "00", "1,GPRMC,4807.038,N,01131.000,E,") + "trailing text"),
        Bytes{0, 1, 0, 7, 0, 2, 5, 3},                 // a protocol id that is not 0: skipped by its length
        Bytes{0, 1, 0, 0, 0, 6, 5, 0x42, 0, 0, 0, 0},  // a function not served
    };
    const int unknownBefore = unknowCount.load();
    for (const Bytes& chunk : chunks) send(chunk);
    const std::vector<std::string> alone = decodeLines();
    const std::vector<HistoryCall> aloneHistory = history();
    const std::vector<Bytes> aloneSent = sent();
    const int unknownAlone = unknowCount.load() - unknownBefore;

    RecordingReplyPath streamed;
    reset();
    for (const Bytes& chunk : chunks) {
        stream.Take(chunk.data(), chunk.size());
        stream.Decode(core, streamed);
    }
    EXPECT_EQ(decodeLines(), alone);
    EXPECT_EQ(history().size(), aloneHistory.size());
    EXPECT_EQ(streamed.Sends(), aloneSent);
    EXPECT_EQ(unknowCount.load() - unknownBefore, 2 * unknownAlone);
    EXPECT_EQ(stream.Held(), 0u);
}

TEST_F(ReceiveStreamTest, ThreeHundredFramesInReceivesOfOneBufferAreAllStored) {
    std::string burst;
    for (int i = 0; i < 300; ++i)
        burst += frame(123, "10", Format("%02d", i % 8).c_str(), Format("1%d.%02d", i, i % 100));
    ASSERT_GT(burst.size(), 10000u);
    receiveInPieces(burst, ReceiveStream::kMaxReceive);
    ASSERT_EQ(history().size(), 300u);
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(history()[i].number, i % 8);
        EXPECT_NEAR(history()[i].value, static_cast<int>((i + (i % 100) / 100.0) * 10) * 0.1, 1e-9) << i;
    }
}

TEST_F(ReceiveStreamTest, LongFrameCompletedByTheNextReceiveIsDecodedWhole) {
    for (std::size_t length : {4094u, 5000u, 8000u}) {
        reset();
        const std::string registration = frame(123, "45", "00", std::string(length - 30, 'R'));
        ASSERT_EQ(registration.size(), length);
        const std::size_t first = std::min<std::size_t>(length - 1, ReceiveStream::kMaxReceive);
        receiveCut(registration + ain1, {first});
        EXPECT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 12.30 20140411123000"})) << length;
        const std::vector<std::string> all = lines();
        EXPECT_EQ(std::count(all.begin(), all.end(), registration + ain1), 1) << length;
    }
}

TEST_F(ReceiveStreamTest, FrameLongerThanAReceiveBufferIsDroppedAndTheNextFrameKept) {
    const std::string registration = frame(123, "45", "00", std::string(8000, 'R'));
    const int unknownBefore = unknowCount.load();
    receiveInPieces(registration, 1000);
    receive(ain1);
    EXPECT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 12.30 20140411123000"}));
    EXPECT_EQ(unknowCount.load(), unknownBefore + 1);
    EXPECT_TRUE(logged("Drop unfinished frame: 5000 bytes"));
    EXPECT_EQ(table.FindRtu(123)->Snapshot().registString[0], '\0');
}

TEST_F(ReceiveStreamTest, TheRestOfADroppedFrameEndsAtItsEndMark) {
    const std::string registration = frame(123, "45", "00", std::string(8000, 'R'));
    receiveInPieces(registration.substr(0, 6000), 1000);
    receive(registration.substr(6000) + ain1);
    EXPECT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 12.30 20140411123000"}));
}

// An unterminated frame is held; the receive after it starts a new frame, so it is decoded on
// its own first, exactly as when it was a chunk by itself.
TEST_F(ReceiveStreamTest, UnterminatedFrameThenCompleteFrameLoseNothing) {
    const std::string unterminated = ain1.substr(0, 35);
    const std::string next = frame(123, "10", "02", "145.60");
    send(unterminated);
    send(next);
    const std::vector<std::string> alone = decodeLines();
    const std::vector<std::string> aloneHistory = ainHistory();

    reset();
    receive(unterminated);
    EXPECT_TRUE(ainHistory().empty());
    receive(next);
    EXPECT_EQ(decodeLines(), alone);
    EXPECT_EQ(ainHistory(), aloneHistory);
    EXPECT_EQ(ainHistory().size(), 2u);
}

TEST_F(ReceiveStreamTest, EndMarkCutFromTheStartMarkOfTheNextFrameJoins) {
    const std::string second = frame(123, "10", "02", "145.60");
    receiveCut(ain1 + second, {35});
    EXPECT_EQ(ainHistory(),
              (std::vector<std::string>{"123 AIN1 12.30 20140411123000", "123 AIN2 45.60 20140411123000"}));
}

// The end mark alone in a receive, then a Modbus/TCP read: the read is answered, nothing counted.
TEST_F(ReceiveStreamTest, EndMarkAloneThenARead) {
    const int unknownBefore = unknowCount.load();
    receiveCut(ToBytes(ain1) + ReadRegisters(3, 1000, 2), {35, 36});
    EXPECT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 12.30 20140411123000"}));
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_EQ(unknowCount.load(), unknownBefore);
    EXPECT_EQ(stream.Held(), 0u);
}

TEST_F(ReceiveStreamTest, FrameInReceivesOfOneByte) {
    receiveInPieces(ain1 + frame(123, "10", "02", "145.60"), 1);
    EXPECT_EQ(ainHistory(),
              (std::vector<std::string>{"123 AIN1 12.30 20140411123000", "123 AIN2 45.60 20140411123000"}));
}

TEST_F(ReceiveStreamTest, EndMarkCutFromTheWriteAfterItJoins) {
    const Bytes all = ToBytes(ain1) + WriteTwoRegisters(4, 1200, 1, 2);
    receiveCut(all, {35});
    EXPECT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 12.30 20140411123000", "5 MBUSREG0 1.00 20140411123000",
                                                      "5 MBUSREG1 2.00 20140411123000"}));
    EXPECT_EQ(sent().size(), 1u);
}

TEST_F(ReceiveStreamTest, GarbageThenAValidFrameOnTheSameConnection) {
    const int unknownBefore = unknowCount.load();
    receive("GET / HTTP/1.0\r\n\r\n");
    receive("\x16\x03");  // could still be the first bytes of an ADU: held
    EXPECT_EQ(stream.Held(), 2u);
    receive(ain1);
    EXPECT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 12.30 20140411123000"}));
    EXPECT_EQ(unknowCount.load(), unknownBefore + 2);
    EXPECT_TRUE(logged("Drop unfinished ADU: 2 bytes"));
}

// RTUs that end frames with CR LF: the two bytes cannot be an ADU once the next frame is behind
// them, so they are dropped and counted as they always were, and no frame is lost.
TEST_F(ReceiveStreamTest, LineEndsAfterFramesCostNoFrame) {
    const int unknownBefore = unknowCount.load();
    receive(ain1 + "\r\n");
    receive(frame(123, "10", "02", "145.60") + "\r\n");
    stream.Close(core);
    EXPECT_EQ(ainHistory(),
              (std::vector<std::string>{"123 AIN1 12.30 20140411123000", "123 AIN2 45.60 20140411123000"}));
    EXPECT_EQ(unknowCount.load(), unknownBefore + 2);
}

TEST_F(ReceiveStreamTest, HeldBytesOfAClosingConnectionAreDroppedAndCounted) {
    const int unknownBefore = unknowCount.load();
    receive(ain1.substr(0, 20));
    EXPECT_EQ(stream.Held(), 20u);
    stream.Close(core);
    EXPECT_EQ(stream.Held(), 0u);
    EXPECT_EQ(unknowCount.load(), unknownBefore + 1);
    EXPECT_TRUE(logged("Drop unfinished frame: 20 bytes"));
    receive(ain1.substr(20));  // a new connection's first receive: nothing joins it
    EXPECT_TRUE(ainHistory().empty());
}

TEST_F(ReceiveStreamTest, AduAfterAFrameKeepsTheFrameTimestampAcrossTheCut) {
    const Bytes stream = ToBytes(ain1) + WriteTwoRegisters(1, 1200, 7, 8);
    receiveCut(stream, {ain1.size() + 5});
    EXPECT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 12.30 20140411123000", "5 MBUSREG0 7.00 20140411123000",
                                                      "5 MBUSREG1 8.00 20140411123000"}));
}

// A master counting its transaction ids reaches 0x2400 after 9,216 requests: from there its ADUs
// begin with "$", at the start of a receive, after a frame whose end mark never came, and after a
// frame in the same receive.
TEST_F(ReceiveStreamTest, TransactionIdsFrom0x2300To0x2700AreAllAnswered) {
    table.FindRtu(5)->SetAin(1, 0.5);
    auto reply = [](std::uint16_t tid) { return Bytes{Byte(tid >> 8), Byte(tid), 0, 0, 0, 7, 5, 3, 4, 0, 0, 0, 5}; };
    std::vector<Bytes> expected;
    for (std::uint16_t tid = 0x2300; tid <= 0x2700; ++tid) {
        receive(ReadRegisters(tid, 1000, 2));
        expected.push_back(reply(tid));
    }
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(stream.Held(), 0u);

    const std::string unterminated = ain1.substr(0, 35);
    for (std::uint16_t tid : {0x2400, 0x2430, 0x24ff}) {
        reset();
        receive(unterminated);
        receive(WriteTwoRegisters(tid, 1200, 42, 7));
        receive(ToBytes(ain1) + ReadRegisters(tid, 1000, 2));
        EXPECT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 12.30 20140411123000", "5 MBUSREG0 42.00 ",
                                                          "5 MBUSREG1 7.00 ", "123 AIN1 12.30 20140411123000"}))
            << tid;
        EXPECT_EQ(sent().back(), reply(tid)) << tid;
        EXPECT_EQ(sent().end()[-2], WriteTwoRegisters(tid, 1200, 42, 7)) << tid;
    }
}

// RTUs are said to send two decimals; what a modem or new firmware sends must not cost the
// Modbus traffic after it.
TEST_F(ReceiveStreamTest, FramesWithOtherThanTwoDecimalsThenReadsInReceivesOfTheirOwn) {
    table.FindRtu(5)->SetAin(1, 0.5);
    const std::vector<std::string> numbers = {"1123.4", "1123", "1123.456"};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        receive(frame(123, "10", "01", numbers[i]));
        receive(ReadRegisters(static_cast<std::uint16_t>(i), 1000, 2));
        ASSERT_EQ(sent().size(), i + 1) << numbers[i];
    }
    EXPECT_EQ(ainHistory(), (std::vector<std::string>{"123 AIN1 123.40 20140411123000", "123 AIN1 0.00 20140411123000",
                                                      "123 AIN1 123.40 20140411123000"}));
}

// ADU headers whose counts claim more than Modbus/TCP's 260 bytes, cut by the end of a receive or
// with the frames behind them in the same receive: only the header is dropped.
TEST_F(ReceiveStreamTest, LyingAduHeadersTakeNothingAfterThem) {
    const Bytes timestamp = {26, 12, 7, 12, 0, 0};
    const std::vector<Bytes> headers = {
        Bytes{0, 1, 0, 0, 0, 12, 5, 0x23, 0x04, 0xB0, 0xFF, 0xFF} + timestamp,  // 65,535 items
        Bytes{0, 2, 0, 0, 0, 12, 5, 0x23, 0x04, 0xB0, 0x03, 0x20} + timestamp,  // 800 items
        Bytes{0, 3, 0, 0, 0, 7, 5, 0x10, 0x04, 0xB0, 0, 2, 255},                // 255 data bytes, none sent
    };
    std::string frames;
    for (int i = 0; i < 8; ++i) frames += frame(123, "10", "01", Format("1%d.00", i));
    for (const Bytes& header : headers) {
        for (bool together : {false, true}) {
            reset();
            RecordingReplyPath replies;
            const int unknownBefore = unknowCount.load();
            for (const Bytes& piece : together ? std::vector<Bytes>{header + ToBytes(frames)}
                                               : std::vector<Bytes>{header, ToBytes(frames)}) {
                stream.Take(piece.data(), piece.size());
                stream.Decode(core, replies);
            }
            EXPECT_EQ(ainHistory().size(), 8u) << header.size() << together;
            EXPECT_TRUE(replies.Sends().empty()) << header.size() << together;
            EXPECT_EQ(unknowCount.load(), unknownBefore + 1);
            EXPECT_TRUE(logged(Format("Drop unfinished ADU: %zu bytes", header.size())));
        }
    }
}

// A frame's end mark that comes late, at a message start, then a read whose transaction id ends in
// 00: read from the "$" on, the read's length byte is a unit id and its unit id a function code.
TEST_F(ReceiveStreamTest, ALateEndMarkNeverTurnsAReadIntoAWrite) {
    registerRtu(2, "6", 402);
    const Bytes read = {0x3a, 0x00, 0, 0, 0, 6, 6, 0x03, 0x03, 0xE8, 0, 1};     // unit 6, AIN0
    const Bytes farRead = {0x3a, 0x00, 0, 0, 0, 6, 6, 0x04, 0xB1, 0x10, 0, 2};  // as 0x06: MBUSREG1 = 40.96
    const std::vector<std::pair<const char*, std::vector<Bytes>>> cases = {
        {"alone", {Bytes{'$'} + read}},
        {"after a frame", {ToBytes(ain1), Bytes{'$'} + read}},
        {"twice in one receive", {ToBytes(ain1 + "$") + read}},
        {"behind a cut frame", {ToBytes(ain1.substr(0, 30)), ToBytes(ain1.substr(30) + "$") + read}},
        {"a byte at a time", {Bytes{'$'}, Bytes{0x3a}, Bytes{0}, Bytes{0}, Bytes{0}, Bytes{0, 6, 6, 3, 3, 0xE8, 0, 1}}},
        {"far", {Bytes{'$'} + farRead + read}},
    };
    for (const auto& [name, receives] : cases) {
        reset();
        RecordingReplyPath replies;
        for (const Bytes& piece : receives) {
            stream.Take(piece.data(), piece.size());
            stream.Decode(core, replies);
        }
        const std::vector<std::string> updates = updateLines();
        EXPECT_EQ(std::count_if(updates.begin(), updates.end(),
                                [](const std::string& line) { return line.rfind("Register#1002", 0) != 0; }),
                  0)
            << name;
        ASSERT_EQ(replies.Sends().size(), 1u) << name;
        EXPECT_EQ(replies.Sends()[0], (Bytes{0x3a, 0x00, 0, 0, 0, 5, 6, 0x03, 2, 0, 0})) << name;
        EXPECT_EQ(stream.Held(), 0u) << name;
    }
}

// Frames and ADUs sent one after another without waiting for replies, cut anywhere: every frame is
// stored, every write applied and every request answered.
TEST_F(ReceiveStreamTest, FramesAndAdusPipelinedInAnyOrderAreAllDecoded) {
    const Bytes all = ReadRegisters(1, 1000, 2) + ToBytes(ain1) + WriteTwoRegisters(2, 1200, 3, 4) +
                      ToBytes(frame(123, "10", "02", "145.60") + frame(123, "10", "03", "146.70")) +
                      ReadRegisters(3, 1200, 1) + ToBytes(frame(123, "11", "00", "025.50"));
    for (std::size_t piece : {all.size(), std::size_t{1}, std::size_t{5}, std::size_t{13}, std::size_t{40}}) {
        reset();
        RecordingReplyPath replies;
        for (std::size_t at = 0; at < all.size(); at += piece) {
            const Bytes part(all.begin() + at, all.begin() + std::min(all.size(), at + piece));
            stream.Take(part.data(), part.size());
            stream.Decode(core, replies);
        }
        EXPECT_EQ(history().size(), 6u) << piece;  // four frames and two registers written
        ASSERT_EQ(replies.Sends().size(), 3u) << piece;
        EXPECT_EQ(replies.Sends()[2][1], 3) << piece;
    }
}

TEST_F(ReceiveStreamTest, UnterminatedFrameOfFiveThousandBytesThenTwentyFrames) {
    const std::string unterminated = frame(123, "45", "00", std::string(5000, 'R')).substr(0, 5000);
    std::vector<std::string> frames;
    for (int i = 0; i < 20; ++i) frames.push_back(frame(123, "10", "01", Format("%d.00", i)));
    const std::string all = std::accumulate(frames.begin(), frames.end(), std::string());
    const std::vector<std::vector<std::string>> sends = {
        {unterminated.substr(0, 4095), unterminated.substr(4095), all},  // dropped, frames in one receive
        {unterminated.substr(0, 4095), unterminated.substr(4095) + all},
        {unterminated.substr(0, 4095), unterminated.substr(4095)},  // dropped, then one frame per receive
    };
    for (std::size_t i = 0; i < sends.size(); ++i) {
        reset();
        for (const std::string& piece : sends[i]) receive(piece);
        if (i == 2)
            for (const std::string& one : frames) receive(one);
        EXPECT_EQ(ainHistory().size(), 20u) << i;
    }
}

}  // namespace
