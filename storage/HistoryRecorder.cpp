#include "storage/HistoryRecorder.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/profile/ProfileSettings.h"
#include "storage/HistoryLog.h"
#include "storage/OdbcInstaller.h"
#include "storage/TimeStamp.h"

namespace {

// Wide enough for "%.2f" of any double.
constexpr std::size_t kValueArea = 512;

// A history write normally takes milliseconds; one that has waited this long for the database
// (locked, stalled, unreachable, or held up behind a long operation of the window) holds up every
// worker queued behind it.
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

SpooledReading NewReading(int unitId, const char* channelName, int channelNumber, std::string valueText,
                          float fullValue, const char* rtuTime, std::uint8_t state, const char* gpsText) {
    SpooledReading spooled;
    spooled.arrivedAt = std::time(nullptr);
    spooled.reading =
        HistoryReading{unitId, channelName, channelNumber, std::move(valueText), fullValue, rtuTime, state, gpsText};
    return spooled;
}

}  // namespace

bool CHistoryRecorder::OpenSpool(const std::filesystem::path& path, std::int64_t limitBytes) {
    auto spool = std::make_unique<ReadingSpool>();
    std::string error;
    if (!spool->Open(path, limitBytes, error)) {
        LogSpoolUnavailable(path, error);
        return false;
    }
    storeAndForward_ = std::make_unique<StoreAndForward>(database_, std::move(spool));
    return true;
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
    bool allKept = true;
    for (const HistoryRowKind kind : {HistoryRowKind::Channel, HistoryRowKind::FullRcds}) {
        RowProgress& row = reading.Row(kind);
        while (row.pending) {
            char localTime[kTimeStampSize];
            FormatNow(localTime);
            row.localTime = localTime;
            if (kind == HistoryRowKind::Channel) reading.fullRcds.localTime = row.localTime;
            if (storeAndForward_ != nullptr && storeAndForward_->Away()) {
                const auto held = storeAndForward_->Hold(reading, nullptr);
                if (held != StoreAndForward::HoldResult::DatabaseUp) return held == StoreAndForward::HoldResult::Held;
            }
            const std::optional<RowOutcome> outcome = WriteDirect(reading.reading, kind, row.localTime);
            if (!outcome) return storeAndForward_->Hold(reading, &HungWrite()) == StoreAndForward::HoldResult::Held;
            if (outcome->result == RowOutcome::Result::Diverted) continue;
            if (outcome->result == RowOutcome::Result::Transient && storeAndForward_ != nullptr) {
                row.rid = outcome->rid;
                return storeAndForward_->Hold(reading, &outcome->error) == StoreAndForward::HoldResult::Held;
            }
            row.pending = false;
            if (outcome->result == RowOutcome::Result::Stored) continue;
            LogRowFailure(reading.reading, kind,
                          outcome->result == RowOutcome::Result::NotConnected ? nullptr : &outcome->error);
            allKept = false;
        }
    }
    return allKept;
}

// With a spool, writers wait their turn in the lane, where each can see how long the write ahead
// has been waiting for the database: once that is longer than kHungWrite, the database counts as
// away and the writer returns nothing, to hold its reading, rather than wait out the driver's
// seven-second time-out (the live values and Modbus replies of its connection would wait too).
std::optional<RowOutcome> CHistoryRecorder::WriteDirect(const HistoryReading& reading, HistoryRowKind kind,
                                                        const std::string& localTime) {
    if (storeAndForward_ == nullptr) return rows_.Insert(reading, kind, localTime, {});
    if (!lane_.Enter(kHungWrite)) return std::nullopt;
    HistoryRowWriter::Options options;
    options.divert = [this] { return storeAndForward_->Away(); };
    RowOutcome outcome = rows_.Insert(reading, kind, localTime, options);
    lane_.Leave();
    return outcome;
}

bool OpenHistorySpool(CHistoryRecorder& recorder) {
    return recorder.OpenSpool(std::string("./") + kDataSourceName + "-spool.db", ReadSpoolLimitBytes());
}
