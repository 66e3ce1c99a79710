#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "core/ModbusMode.h"
#include "core/TelemetryCore.h"
#include "tests/support/TempWorkingDirectory.h"

// Sinks that remember what the core did to them; safe to share between threads.
class RecordingRawDataList : public IRawDataList {
public:
    void AddLine(const char* text) override;
    int Count() override;
    void Clear() override;
    std::vector<std::string> Lines();

private:
    std::mutex lock;
    std::vector<std::string> lines;
};

class RecordingStatePage : public IStatePage {
public:
    void PostCommand(std::uint32_t commandId) override;
    std::atomic<int> refreshes{0};
};

struct HistoryCall {
    int unit;
    std::string channel;
    int number;
    double value;
    std::string rtuTime;
    int state;
};

class RecordingHistoryWriter : public IHistoryWriter {
public:
    void WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value, const char* rtuTime,
                         std::uint8_t state) override;
    void WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value, const char* rtuTime,
                           std::uint8_t state) override;
    std::vector<HistoryCall> Calls();
    void Clear();

private:
    std::mutex lock;
    std::vector<HistoryCall> calls;
};

class RecordingReplyPath : public IReplyPath {
public:
    bool Send(const std::uint8_t* bytes, std::size_t length) override;
    void Release() override { ++releases; }
    std::vector<std::vector<std::uint8_t>> Sends();

    std::atomic<bool> failSends{false};
    std::atomic<int> releases{0};

private:
    std::mutex lock;
    std::vector<std::vector<std::uint8_t>> sends;
};

using Bytes = std::vector<std::uint8_t>;

// A telemetry core over its own live table, with recording sinks, a fixed clock
// (2014-04-11 12:30:00) and a counters file in a per-test directory.
class CoreTest : public ::testing::Test {
protected:
    CoreTest();
    ~CoreTest() override;

    void registerRtu(std::size_t slot, const char* uidText, int model = 403);
    void send(const std::string& chunk);
    void send(const Bytes& chunk) { send(chunk, reply); }
    void send(const Bytes& chunk, IReplyPath& path);

    // "$" unit-id(8) "00" fn(2) timestamp(14) channel(2) payload "$".
    static std::string frame(int unit, const char* fn, const char* channel, const std::string& payload,
                             const char* timestamp = "20140411123000");

    RtuRecord rtu(int unit);
    float ain(int unit, int i) { return rtu(unit).ain[i]; }
    std::vector<std::string> lines() { return rawData.Lines(); }
    bool logged(const std::string& line);
    // The "Register#..." and "Coil#..." lines, in order.
    std::vector<std::string> updateLines();
    std::vector<HistoryCall> history() { return historyWriter.Calls(); }
    std::vector<Bytes> sent() { return reply.Sends(); }
    std::string countersFileText();

    TempDirectory directory{"telvorn-core"};
    RtuTable table;
    RecordingRawDataList rawData;
    RecordingStatePage statePage;
    RecordingHistoryWriter historyWriter;
    RecordingReplyPath reply;
    TelemetryCore core;
};

Bytes ToBytes(const std::string& text);
