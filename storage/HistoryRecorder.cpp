#include "storage/HistoryRecorder.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/profile/ProfileSettings.h"
#include "storage/EventLog.h"
#include "storage/HistoryLog.h"
#include "storage/OdbcInstaller.h"
#include "storage/TimeStamp.h"

namespace {

// Wide enough for "%.2f" of any double.
constexpr std::size_t kValueArea = 512;

// A history write normally takes milliseconds; one that has waited this long for the database
// (locked, stalled, unreachable, or held up behind a long operation of the window) would hold up
// its connection's live values and replies, and every worker queued behind it.
constexpr std::chrono::milliseconds kHungWrite{1000};

// The failure a hung write stands for in the log.
const CSQLException& HungWrite() {
    static const CSQLException hung = [] {
        CSQLException error;
        error.sqlState = "HYT00";
        error.message =
            "a history write has waited more than " + std::to_string(kHungWrite.count()) + " ms for the database";
        return error;
    }();
    return hung;
}

// Rows that go to the spool before their statement was composed take their LTIME now.
void StampPendingRows(SpooledReading& reading) {
    for (const HistoryRowKind kind : {HistoryRowKind::Channel, HistoryRowKind::FullRcds}) {
        RowProgress& row = reading.Row(kind);
        if (!row.pending || !row.localTime.empty()) continue;
        char localTime[kTimeStampSize];
        FormatNow(localTime);
        row.localTime = localTime;
    }
}

SpooledReading NewReading(int unitId, const char* channelName, int channelNumber, std::string valueText,
                          float fullValue, const char* rtuTime, std::uint8_t state, const char* gpsText) {
    SpooledReading spooled;
    spooled.arrivedAt = std::time(nullptr);
    spooled.reading =
        HistoryReading{unitId, channelName, channelNumber, std::move(valueText), fullValue, rtuTime, state, gpsText};
    return spooled;
}

}  // namespace

ReadingSpool::OpenResult CHistoryRecorder::OpenSpool(const std::filesystem::path& path, SpoolLimits limits,
                                                     std::string& message) {
    auto spool = std::make_unique<ReadingSpool>();
    const ReadingSpool::OpenResult result = spool->Open(path, limits, message);
    if (result == ReadingSpool::OpenResult::HeldElsewhere) {
        WriteEventLog(("Spool not opened: " + message + "\n").c_str());
        return result;
    }
    if (result == ReadingSpool::OpenResult::MemoryOnly) LogSpoolUnavailable(path, message, limits.memoryBytes);
    storeAndForward_ = std::make_unique<StoreAndForward>(database_, std::move(spool), reopen_);
    writer_ = std::make_unique<DirectWriter>(rows_, kHungWrite);
    return result;
}

void CHistoryRecorder::DatabaseNotOpen() {
    if (storeAndForward_ != nullptr && reopen_) storeAndForward_->DatabaseNotOpen();
}

SpoolFigures CHistoryRecorder::Figures() const {
    return storeAndForward_ != nullptr ? storeAndForward_->Figures() : SpoolFigures{};
}

void CHistoryRecorder::WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value,
                                       const char* rtuTime, std::uint8_t state) {
    SpooledReading reading = NewReading(unitId, channelName, channelNumber, std::to_string(value & 0xff),
                                        static_cast<float>(value & 0xff), rtuTime, state, "");
    Record(reading);
}

void CHistoryRecorder::WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value,
                                         const char* rtuTime, std::uint8_t state) {
    char text[kValueArea];
    std::snprintf(text, sizeof text, "%.2f", value);
    SpooledReading reading =
        NewReading(unitId, channelName, channelNumber, text, static_cast<float>(value), rtuTime, state, "");
    Record(reading);
}

bool CHistoryRecorder::WriteFullRcds(int unitId, const char* channelName, int channelNumber, float value,
                                     const char* rtuTime, std::uint8_t state, const char* gpsText) {
    SpooledReading reading = NewReading(unitId, channelName, channelNumber, "", value, rtuTime, state, gpsText);
    reading.channel.pending = false;
    return Record(reading);
}

// Each row takes its LTIME when its statement is composed; a row that goes to the spool keeps the
// LTIME it has then, which is the one it is stored with.
bool CHistoryRecorder::Record(SpooledReading& reading) {
    if (storeAndForward_ == nullptr) return RecordWithoutSpool(reading);
    bool allKept = true;
    while (reading.channel.pending || reading.fullRcds.pending) {
        if (storeAndForward_->Away()) {
            StampPendingRows(reading);
            const auto held = storeAndForward_->Hold(reading, nullptr);
            if (held != StoreAndForward::HoldResult::DatabaseUp) return held == StoreAndForward::HoldResult::Held;
        }
        DirectWriter::Outcome direct = writer_->Write(reading, [this] { return storeAndForward_->Away(); });
        for (const HistoryRowKind kind : {HistoryRowKind::Channel, HistoryRowKind::FullRcds}) {
            const DirectWriter::Row& written = direct.Of(kind);
            RowProgress& row = reading.Row(kind);
            if (written.state == DirectWriter::Row::State::NotTried) continue;
            row.localTime = written.localTime;
            const RowOutcome::Result result = written.outcome.result;
            if (written.state == DirectWriter::Row::State::Abandoned || result == RowOutcome::Result::Transient) {
                if (written.state == DirectWriter::Row::State::Done &&
                    storeAndForward_->SetAsideIfFailing(reading, kind, written.outcome.error)) {
                    row.pending = false;
                    continue;
                }
                return HoldAfter(reading, kind, written);
            }
            if (result == RowOutcome::Result::Diverted) break;
            if (result == RowOutcome::Result::NotConnected && reopen_) {
                storeAndForward_->DatabaseNotOpen();
                continue;
            }
            row.pending = false;
            if (result == RowOutcome::Result::Stored) {
                storeAndForward_->TableStored(reading.reading, kind);
                continue;
            }
            LogRowFailure(reading.reading, kind,
                          result == RowOutcome::Result::NotConnected ? nullptr : &written.outcome.error);
            allKept = false;
        }
        // Nothing begun: the write ahead of this one hangs.
        if (direct.channel.state == DirectWriter::Row::State::NotTried &&
            direct.fullRcds.state == DirectWriter::Row::State::NotTried) {
            StampPendingRows(reading);
            return storeAndForward_->Hold(reading, &HungWrite()) == StoreAndForward::HoldResult::Held;
        }
    }
    return allKept;
}

bool CHistoryRecorder::RecordWithoutSpool(SpooledReading& reading) {
    bool allKept = true;
    for (const HistoryRowKind kind : {HistoryRowKind::Channel, HistoryRowKind::FullRcds}) {
        RowProgress& row = reading.Row(kind);
        if (!row.pending) continue;
        char localTime[kTimeStampSize];
        FormatNow(localTime);
        row.localTime = localTime;
        const RowOutcome outcome = rows_.Insert(reading.reading, kind, row.localTime, {});
        row.pending = false;
        if (outcome.result == RowOutcome::Result::Stored) continue;
        LogRowFailure(reading.reading, kind,
                      outcome.result == RowOutcome::Result::NotConnected ? nullptr : &outcome.error);
        allKept = false;
    }
    return allKept;
}

// A row given up under way, or one that failed for a passing reason, may have been stored under
// its RID: the forwarder looks there first. A row the writer had not begun has no LTIME yet.
bool CHistoryRecorder::HoldAfter(SpooledReading& reading, HistoryRowKind kind, const DirectWriter::Row& written) {
    reading.Row(kind).rid = written.rid;
    StampPendingRows(reading);
    const bool done = written.state == DirectWriter::Row::State::Done;
    return storeAndForward_->Hold(reading, done ? &written.outcome.error : &HungWrite()) ==
           StoreAndForward::HoldResult::Held;
}

HistorySpoolOpening OpenHistorySpool(CHistoryRecorder& recorder) {
    HistorySpoolOpening opening;
    const SpoolLimits limits{ReadSpoolLimitBytes(), ReadSpoolMemoryLimitBytes()};
    opening.result = recorder.OpenSpool(std::string("./") + kDataSourceName + "-spool.db", limits, opening.message);
    return opening;
}
