#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// Tables that keep refusing rows for a passing reason (out of disk on the server, a lock not
// granted) while the database takes the rows of other tables: after kTries such failures over at
// least kFailingFor, the table's rows are set aside when they fail, so that they no longer hold up
// the readings behind them. A failure counts only when other rows were stored beside it, so that a database
// that is away as a whole never sets anything aside.
//
// Threads: any. Stored is on every writer's path: it costs one relaxed load while no table fails.
class FailingTables {
public:
    static constexpr int kTries = 5;
    static constexpr std::chrono::seconds kFailingFor{5};

    // A row of `table` failed for a passing reason while rows of other tables were stored; true
    // when the table turns failing by it (the caller says so in the log).
    bool Failed(const std::string& table);
    // The table failed before, while others were stored.
    bool Known(const std::string& table) const;
    // Its rows are set aside when they fail.
    bool SettingAside(const std::string& table) const;
    void CountSetAside(const std::string& table);
    // A row of `table` was stored: it is sound again. Returns the rows set aside meanwhile, or -1
    // when it was not setting rows aside.
    std::int64_t Stored(const std::string& table);
    // The database went away as a whole: what was learnt of single tables no longer holds.
    void Forget();
    // No table has failed so.
    bool None() const { return !any_.load(std::memory_order_relaxed); }
    // The tables whose rows are set aside now.
    std::vector<std::string> Names() const;

private:
    struct Record {
        int tries = 0;
        std::chrono::steady_clock::time_point first;
        bool settingAside = false;
        std::int64_t setAside = 0;
    };

    mutable std::mutex mutex_;
    std::map<std::string, Record> tables_;  // guarded by mutex_
    std::atomic<bool> any_{false};          // tables_ is not empty
};
