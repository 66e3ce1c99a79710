#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/HistoryWriter.h"
#include "storage/DirectWriter.h"
#include "storage/HistoryRowWriter.h"
#include "storage/StoreAndForward.h"

class CSQLDatabase;

// Records every accepted reading twice: in the RTU's channel table and in FULLRCDS. Nothing reaches
// the caller. While the database answers, each row is one INSERT under DatabaseMutex, as it comes.
// A row the database refuses for good (a missing table, a taken key) leaves its failure line in the
// event log. A row it cannot take now (connection lost, time-out, locked, busy, shutting down, disk
// full) sends the reading to the spool, when one is open (OpenSpool), and from then on readings go
// straight to the spool, without waiting on the database, until the forwarder has emptied it. So
// does a write that has waited more than a second for the database: with a spool, direct writes run
// on a writer thread of their own (DirectWriter), and a worker waits for one at most that long. A
// row of a table known to keep failing while others take theirs is set aside in the spool.
//
// Threads: the writers from any number of worker threads at once; OpenSpool once before them;
// Figures from any thread.
class CHistoryRecorder final : public IHistoryWriter {
public:
    // `database` is not owned; null means no database (every reading then logs two failures).
    // `reopen`, when given, opens a database that did not open at start (StoreAndForward); with it
    // and a spool, a reading that finds the database not open is spooled rather than lost.
    explicit CHistoryRecorder(CSQLDatabase* database, std::function<bool()> reopen = {})
        : database_(database), reopen_(std::move(reopen)), rows_(database) {}

    // Keeps what the database cannot take in the spool `path` within `limits`, and starts
    // forwarding, beginning with what an earlier run left there. Without a spool (never asked for,
    // or held by another process) such readings are logged and lost. HeldElsewhere and MemoryOnly
    // set `message`, and are logged.
    ReadingSpool::OpenResult OpenSpool(const std::filesystem::path& path, SpoolLimits limits, std::string& message);

    void WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value, const char* rtuTime,
                         std::uint8_t state) override;
    void WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value, const char* rtuTime,
                           std::uint8_t state) override;
    // The FULLRCDS row of a reading alone; true when stored (or held in the spool).
    bool WriteFullRcds(int unitId, const char* channelName, int channelNumber, float value, const char* rtuTime,
                       std::uint8_t state, const char* gpsText);

    // The database did not open: with a spool, every reading goes there until `reopen` opens it.
    void DatabaseNotOpen();

    // The spool's figures (readings held, bytes, oldest age, forwarded, database away); all zero
    // and `spoolOpen` false without a spool. Safe from any thread.
    SpoolFigures Figures() const;

private:
    // Stores the reading's pending rows, channel row first; true when none was lost.
    bool Record(SpooledReading& reading);
    bool RecordWithoutSpool(SpooledReading& reading);
    // Holds the reading when its row was given up or could not be written now; true when kept.
    bool HoldAfter(SpooledReading& reading, HistoryRowKind kind, const DirectWriter::Row& written);

    CSQLDatabase* database_;
    std::function<bool()> reopen_;
    HistoryRowWriter rows_;
    std::unique_ptr<StoreAndForward> storeAndForward_;
    std::unique_ptr<DirectWriter> writer_;  // with the spool: runs the direct writes
};

// How the recorder's spool opened: Opened; MemoryOnly (its file cannot be used, readings are held
// in memory); HeldElsewhere (another Telvorn process has it: the program must not run beside it).
struct HistorySpoolOpening {
    ReadingSpool::OpenResult result = ReadingSpool::OpenResult::Opened;
    std::string message;  // what happened, when not Opened
};

// Opens the recorder's spool beside the database settings: "./RTUDB-spool.db" (one per data
// source), bounded by SPOOLMAXKB and SPOOLRAMKB of [RTU_DB] in "./data_rtu.ini". Call before the
// server starts.
HistorySpoolOpening OpenHistorySpool(CHistoryRecorder& recorder);
