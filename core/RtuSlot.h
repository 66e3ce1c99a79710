#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string_view>

#include "core/ReportedChannels.h"
#include "core/RtuRecord.h"

// One slot of the live RTU table: an RtuRecord behind a light lock.
//
// Threads: the registry writers run on the user-interface thread, the channel writers on the
// server's workers, readers anywhere. Every writer stores one whole field under the slot's lock and
// readers copy under it, so no reader sees a half-written field; nothing promises that two fields
// belong to the same moment. The lock is a leaf: nothing else is locked or called while it is held.
class RtuSlot {
public:
    RtuSlot() = default;
    RtuSlot(const RtuSlot&) = delete;
    RtuSlot& operator=(const RtuSlot&) = delete;

    // A consistent copy of the whole record.
    RtuRecord Snapshot() const;
    // The same, with the channels reported since the slot was filled.
    RtuRecord Snapshot(ReportedChannels& reported) const;

    // Runs f(const RtuRecord&) under the lock; f must be short and must not call out.
    template <class F>
    decltype(auto) Read(F&& f) const {
        std::lock_guard<std::mutex> guard(lock);
        return f(static_cast<const RtuRecord&>(record));
    }

    // uidText read as a decimal integer, kept up to date by SetUidText so lookups need no lock;
    // kNoUnit while the slot is empty, which no unit id equals.
    static constexpr std::int64_t kNoUnit = std::numeric_limits<std::int64_t>::min();
    std::int64_t NumericId() const { return numericId.load(std::memory_order_acquire); }
    // Counts the registry writes (unit id, model, reset), so a reader can tell without the lock that
    // the slot was given to another RTU or model since it last looked.
    std::uint32_t RegistryChanges() const { return registryChanges.load(std::memory_order_acquire); }
    bool UidTextEquals(std::string_view text) const;

    // Registry writers.
    void SetUidText(std::string_view text);  // at most 31 characters
    void SetModel(std::int32_t model);
    // Every field back to zero, the unit id included, as a slot that was never filled.
    void Reset();

    // Channel writers; an index out of range changes nothing.
    void SetDin(std::uint32_t i, std::int32_t value);   // low byte
    void SetDout(std::uint32_t i, std::int32_t value);  // low byte
    void SetAin(std::uint32_t i, double value);
    void SetEtemp(std::uint32_t i, double value);
    void SetItemp(double value);
    void SetSignal(std::int32_t value);
    void SetBatt(std::int32_t value);
    void SetRegisterValue(std::uint32_t k, double value);
    void SetCoilValue(std::uint32_t k, std::int32_t value);  // low byte, as float
    // Register numbers 1301..1304 only: the value taken as unsigned, x 0.01.
    void SetCounter(std::uint32_t registerNumber, std::int32_t value);
    void SetGraycode(std::uint32_t i, double value);
    void SetGps(std::string_view text);           // at most 127 characters
    void SetRegistString(std::string_view text);  // at most 255 characters

private:
    // f(RtuRecord&, ReportedChannels&) stores one field and notes it as reported.
    template <class F>
    void Write(F&& f) {
        std::lock_guard<std::mutex> guard(lock);
        f(record, reported);
    }

    mutable std::mutex lock;
    RtuRecord record{};
    ReportedChannels reported;
    std::atomic<std::int64_t> numericId{kNoUnit};
    std::atomic<std::uint32_t> registryChanges{0};
};
