#pragma once

#include <cstdint>
#include <string>

#include "core/HistoryWriter.h"

class CSQLDatabase;

// Records every accepted reading twice: in the RTU's channel table and in FULLRCDS. A row that is
// not stored leaves its failure line in the event log; nothing reaches the caller.
//
// Threads: any number of worker threads at once. DatabaseMutex is held around each statement only;
// statements are composed before it and log lines written after it.
class CHistoryRecorder final : public IHistoryWriter {
public:
    // `database` is not owned; null means no database (every reading then logs two failures).
    explicit CHistoryRecorder(CSQLDatabase* database) : database_(database) {}

    void WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value, const char* rtuTime,
                         std::uint8_t state) override;
    void WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value, const char* rtuTime,
                           std::uint8_t state) override;
    // The FULLRCDS row of a reading; true when stored.
    bool WriteFullRcds(int unitId, const char* channelName, int channelNumber, float value, const char* rtuTime,
                       std::uint8_t state, const char* gpsText);

private:
    // Inserts the row composed by `compose` for a RID, retrying with MAX(RID) + 1 of `table` while
    // the key exists (rows of an earlier run, a wrapped tick, or another server writing into the
    // same tables at the same moment). True when stored.
    template <class Compose>
    bool Insert(const std::string& table, Compose compose);

    enum class RetryResult { Stored, KeyTaken, Failed };
    template <class Compose>
    RetryResult InsertAfterMaximum(const std::string& table, Compose compose, std::uint32_t gap);
    void WriteChannel(int unitId, const char* channelName, int channelNumber, const std::string& valueText,
                      double value, const char* rtuTime, std::uint8_t state);

    CSQLDatabase* database_;
};
