#include "tests/core/CoreFixture.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "core/TextFormat.h"
#include "tests/support/ReadFile.h"

void RecordingRawDataList::AddLine(const char* text) {
    std::lock_guard<std::mutex> guard(lock);
    lines.emplace_back(text);
}

int RecordingRawDataList::Count() {
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<int>(lines.size());
}

void RecordingRawDataList::Clear() {
    std::lock_guard<std::mutex> guard(lock);
    lines.clear();
}

std::vector<std::string> RecordingRawDataList::Lines() {
    std::lock_guard<std::mutex> guard(lock);
    return lines;
}

void RecordingStatePage::PostCommand(std::uint32_t commandId) {
    if (commandId == CMD_REFRESH_STATE) ++refreshes;
}

void RecordingHistoryWriter::WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value,
                                             const char* rtuTime, std::uint8_t state) {
    WriteChannelFloat(unitId, channelName, channelNumber, value, rtuTime, state);
}

void RecordingHistoryWriter::WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value,
                                               const char* rtuTime, std::uint8_t state) {
    std::lock_guard<std::mutex> guard(lock);
    calls.push_back({unitId, channelName, channelNumber, value, rtuTime, state});
}

std::vector<HistoryCall> RecordingHistoryWriter::Calls() {
    std::lock_guard<std::mutex> guard(lock);
    return calls;
}

void RecordingHistoryWriter::Clear() {
    std::lock_guard<std::mutex> guard(lock);
    calls.clear();
}

bool RecordingReplyPath::Send(const std::uint8_t* bytes, std::size_t length) {
    if (failSends) return false;
    std::lock_guard<std::mutex> guard(lock);
    sends.emplace_back(bytes, bytes + length);
    return true;
}

std::vector<Bytes> RecordingReplyPath::Sends() {
    std::lock_guard<std::mutex> guard(lock);
    return sends;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

CoreTest::CoreTest() {
    core.SetRtuTable(table);
    core.SetRawDataList(&rawData);
    core.SetStatePage(&statePage);
    core.SetHistoryWriter(&historyWriter);
    core.SetCountersPath((directory.Path() / "counters.txt").string());
    core.SetClock([] {
        std::tm t{};
        t.tm_year = 114;
        t.tm_mon = 3;
        t.tm_mday = 11;
        t.tm_hour = 12;
        t.tm_min = 30;
        return t;
    });
    echoServer = 0;
    modbusMode = ModbusMode::kClassic;
}

CoreTest::~CoreTest() {
    echoServer = 0;
    modbusMode = ModbusMode::kClassic;
}

void CoreTest::registerRtu(std::size_t slot, const char* uidText, int model) {
    table.Slot(slot).SetUidText(uidText);
    table.Slot(slot).SetModel(model);
}

void CoreTest::send(const std::string& chunk) { send(ToBytes(chunk)); }

void CoreTest::send(const Bytes& chunk, IReplyPath& path) {
    Bytes terminated = chunk;
    terminated.push_back(0);
    core.DecodeChunk(terminated.data(), static_cast<std::uint32_t>(chunk.size()), path);
}

std::string CoreTest::frame(int unit, const char* fn, const char* channel, const std::string& payload,
                            const char* timestamp) {
    return Format("$%08d00%s%s%s", unit, fn, timestamp, channel) + payload + "$";
}

RtuRecord CoreTest::rtu(int unit) {
    RtuSlot* slot = table.FindRtu(unit);
    EXPECT_NE(slot, nullptr) << "unit " << unit;
    return slot ? slot->Snapshot() : RtuRecord{};
}

bool CoreTest::logged(const std::string& line) {
    for (const auto& l : lines()) {
        if (l == line) return true;
    }
    return false;
}

std::vector<std::string> CoreTest::updateLines() {
    std::vector<std::string> result;
    for (const auto& l : lines()) {
        if (l.rfind("Register#", 0) == 0 || l.rfind("Coil#", 0) == 0) result.push_back(l);
    }
    return result;
}

std::string CoreTest::countersFileText() { return ReadFile(directory.Path() / "counters.txt"); }
