#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "core/HistoryWriter.h"
#include "storage/HistoryRowWriter.h"
#include "storage/StoreAndForward.h"
#include "storage/WriteLane.h"

class CSQLDatabase;

// Records every accepted reading twice: in the RTU's channel table and in FULLRCDS. Nothing reaches
// the caller. While the database answers, each row is one INSERT under DatabaseMutex, as it comes.
// A row the database refuses for good (a missing table, a taken key) leaves its failure line in the
// event log. A row it cannot take now (connection lost, time-out, locked, busy, shutting down, disk
// full) sends the reading to the spool, when one is open (OpenSpool), and from then on readings go
// straight to the spool, without waiting on the database, until the forwarder has emptied it. So
// does a write that finds the one ahead of it waiting more than a second for the database.
//
// Threads: the writers from any number of worker threads at once; OpenSpool once before them;
// Figures from any thread.
class CHistoryRecorder final : public IHistoryWriter {
public:
    // `database` is not owned; null means no database (every reading then logs two failures).
    explicit CHistoryRecorder(CSQLDatabase* database) : database_(database), rows_(database) {}

    // Keeps what the database cannot take in the spool file `path`, at most `limitBytes` big, and
    // starts forwarding, beginning with what an earlier run left there. Without a spool (it failed
    // to open, which is logged, or was never asked for) such readings are logged and lost.
    bool OpenSpool(const std::filesystem::path& path, std::int64_t limitBytes);

    void WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value, const char* rtuTime,
                         std::uint8_t state) override;
    void WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value, const char* rtuTime,
                           std::uint8_t state) override;
    // The FULLRCDS row of a reading alone; true when stored (or held in the spool).
    bool WriteFullRcds(int unitId, const char* channelName, int channelNumber, float value, const char* rtuTime,
                       std::uint8_t state, const char* gpsText);

    // The spool's figures (readings held, bytes, oldest age, forwarded, database away); all zero
    // and `spoolOpen` false without a spool. Safe from any thread.
    SpoolFigures Figures() const;

private:
    // Stores the reading's pending rows, channel row first; true when none was lost.
    bool Record(SpooledReading& reading);
    // One row into the database; nothing when the write ahead of it hangs.
    std::optional<RowOutcome> WriteDirect(const HistoryReading& reading, HistoryRowKind kind,
                                          const std::string& localTime);

    CSQLDatabase* database_;
    HistoryRowWriter rows_;
    std::unique_ptr<StoreAndForward> storeAndForward_;
    WriteLane lane_;  // taken before DatabaseMutex by direct writes, when there is a spool
};

// Opens the recorder's spool beside the database settings: "./RTUDB-spool.db" (one per data
// source), bounded by SPOOLMAXKB of [RTU_DB] in "./data_rtu.ini". Call before the server starts.
bool OpenHistorySpool(CHistoryRecorder& recorder);
