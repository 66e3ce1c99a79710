#include "core/RegistryRefill.h"

#include <array>
#include <set>
#include <string_view>

namespace {

std::string UidText(const RtuSlot& slot) {
    return slot.Read([](const RtuRecord& record) { return std::string(record.uidText); });
}

// The first empty slot from `from` on, else the first empty slot; kSlots when the table is full.
std::size_t FreeSlot(const std::array<bool, RtuTable::kSlots>& used, std::size_t from) {
    for (std::size_t i = from; i < RtuTable::kSlots; ++i) {
        if (!used[i]) return i;
    }
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        if (!used[i]) return i;
    }
    return RtuTable::kSlots;
}

}  // namespace

std::size_t RefillRtuTable(RtuTable& table, const std::vector<RegisteredRtu>& rtus) {
    std::array<bool, RtuTable::kSlots> used{};
    std::array<std::string, RtuTable::kSlots> uids;
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        uids[i] = UidText(table.Slot(i));
        used[i] = !uids[i].empty();
    }
    // Slots emptied now are taken again only when the table has no other room: a reading that found
    // the gone RTU a moment ago may still be written into its old slot.
    std::size_t pastLastUsed = 0;
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        if (used[i]) pastLastUsed = i + 1;
    }
    std::set<std::string_view> wanted;
    std::vector<const RegisteredRtu*> added;
    for (const RegisteredRtu& rtu : rtus) {
        if (rtu.uidText.empty() || !wanted.insert(rtu.uidText).second) continue;
        bool found = false;
        for (std::size_t i = 0; i < RtuTable::kSlots && !found; ++i) {
            if (uids[i] == rtu.uidText) {
                table.Slot(i).SetModel(rtu.model);
                found = true;
            }
        }
        if (!found) added.push_back(&rtu);
    }
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        if (used[i] && wanted.count(uids[i]) == 0) {
            table.Slot(i).Reset();
            table.Activity().Reset(i);
            used[i] = false;
        }
    }
    std::size_t count = 0;
    for (const RegisteredRtu* rtu : added) {
        const std::size_t i = FreeSlot(used, pastLastUsed);
        if (i == RtuTable::kSlots) break;
        used[i] = true;
        RtuSlot& slot = table.Slot(i);
        slot.Reset();
        table.Activity().Reset(i);
        slot.SetModel(rtu->model);
        slot.SetUidText(rtu->uidText);
        ++count;
    }
    return count;
}
