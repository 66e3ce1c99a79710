#include "core/RtuSlot.h"

#include <algorithm>
#include <cstring>

#include "core/ParseDecimal.h"

namespace {

constexpr std::uint32_t kChannels = 32;
constexpr std::uint32_t kRegisters = 256;
constexpr std::uint32_t kFirstCounterRegister = 1301;
constexpr std::uint32_t kStoredCounters = 4;

template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text) {
    const std::size_t length = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

// The text up to its first zero byte, as a "%s" copy would take it.
std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

RtuRecord RtuSlot::Snapshot() const {
    std::lock_guard<std::mutex> guard(lock);
    return record;
}

RtuRecord RtuSlot::Snapshot(ReportedChannels& seen) const {
    std::lock_guard<std::mutex> guard(lock);
    seen = reported;
    return record;
}

bool RtuSlot::UidTextEquals(std::string_view text) const {
    std::lock_guard<std::mutex> guard(lock);
    return text == record.uidText;
}

void RtuSlot::SetUidText(std::string_view text) {
    text = UpToZero(text);
    std::lock_guard<std::mutex> guard(lock);
    CopyText(record.uidText, text);
    numericId.store(text.empty() ? kNoUnit : ReadLeadingInt(record.uidText), std::memory_order_release);
    registryChanges.fetch_add(1, std::memory_order_release);
}

void RtuSlot::SetModel(std::int32_t model) {
    Write([&](RtuRecord& r, ReportedChannels&) { r.model = model; });
    registryChanges.fetch_add(1, std::memory_order_release);
}

void RtuSlot::Reset() {
    std::lock_guard<std::mutex> guard(lock);
    numericId.store(kNoUnit, std::memory_order_release);
    record = RtuRecord{};
    reported = ReportedChannels{};
    registryChanges.fetch_add(1, std::memory_order_release);
}

void RtuSlot::SetDin(std::uint32_t i, std::int32_t value) {
    if (i >= kChannels) return;
    Write([&](RtuRecord& r, ReportedChannels& seen) {
        r.din[i] = static_cast<std::uint8_t>(value);
        seen.din |= 1u << i;
    });
}

void RtuSlot::SetDout(std::uint32_t i, std::int32_t value) {
    if (i >= kChannels) return;
    Write([&](RtuRecord& r, ReportedChannels& seen) {
        r.dout[i] = static_cast<std::uint8_t>(value);
        seen.dout |= 1u << i;
    });
}

void RtuSlot::SetAin(std::uint32_t i, double value) {
    if (i >= kChannels) return;
    Write([&](RtuRecord& r, ReportedChannels& seen) {
        r.ain[i] = static_cast<float>(value);
        seen.ain |= 1u << i;
    });
}

void RtuSlot::SetEtemp(std::uint32_t i, double value) {
    if (i >= kChannels) return;
    Write([&](RtuRecord& r, ReportedChannels& seen) {
        r.etemp[i] = static_cast<float>(value);
        seen.etemp |= 1u << i;
    });
}

void RtuSlot::SetItemp(double value) {
    Write([&](RtuRecord& r, ReportedChannels& seen) {
        r.itemp = static_cast<float>(value);
        seen.itemp = true;
    });
}

void RtuSlot::SetSignal(std::int32_t value) {
    Write([&](RtuRecord& r, ReportedChannels& seen) {
        r.signal = value;
        seen.signal = true;
    });
}

void RtuSlot::SetBatt(std::int32_t value) {
    Write([&](RtuRecord& r, ReportedChannels& seen) {
        r.batt = value;
        seen.batt = true;
    });
}

void RtuSlot::SetRegisterValue(std::uint32_t k, double value) {
    if (k >= kRegisters) return;
    Write([&](RtuRecord& r, ReportedChannels&) {
        r.reg[k] = static_cast<float>(value);
        r.regKind[k] = 1;
    });
}

void RtuSlot::SetCoilValue(std::uint32_t k, std::int32_t value) {
    if (k >= kRegisters) return;
    Write([&](RtuRecord& r, ReportedChannels&) {
        r.reg[k] = static_cast<float>(static_cast<std::uint8_t>(value));
        r.regKind[k] = 2;
    });
}

void RtuSlot::SetCounter(std::uint32_t registerNumber, std::int32_t value) {
    const std::uint32_t i = registerNumber - kFirstCounterRegister;
    if (registerNumber < kFirstCounterRegister || i >= kStoredCounters) return;
    const double scaled = static_cast<std::uint32_t>(value) * 0.01;
    Write([&](RtuRecord& r, ReportedChannels& seen) {
        r.ecounter[i] = static_cast<float>(scaled);
        seen.counters |= static_cast<std::uint8_t>(1u << i);
    });
}

void RtuSlot::SetGraycode(std::uint32_t i, double value) {
    if (i >= kChannels) return;
    Write([&](RtuRecord& r, ReportedChannels& seen) {
        r.graycode[i] = static_cast<float>(value);
        seen.graycode |= 1u << i;
    });
}

void RtuSlot::SetGps(std::string_view text) {
    text = UpToZero(text);
    Write([&](RtuRecord& r, ReportedChannels&) { CopyText(r.gps, text); });
}

void RtuSlot::SetRegistString(std::string_view text) {
    text = UpToZero(text);
    Write([&](RtuRecord& r, ReportedChannels&) { CopyText(r.registString, text); });
}
