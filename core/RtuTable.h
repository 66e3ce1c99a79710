#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/RtuActivity.h"
#include "core/RtuSlot.h"
#include "core/UnregisteredRtus.h"

// The live RTU table: 256 slots, all zero at start, filled in registry order by the RTU list page
// and written by the decoder. Every method may be called from any thread (see RtuSlot).
class RtuTable {
public:
    static constexpr std::size_t kSlots = 256;

    RtuTable() = default;
    RtuTable(const RtuTable&) = delete;
    RtuTable& operator=(const RtuTable&) = delete;

    // The first slot whose uidText reads as the decimal integer id (0 for non-numeric text), or
    // null; an empty slot matches no id. Callers pass an RTU I/O unit id masked to 16 bits or a
    // Modbus unit id.
    RtuSlot* FindRtu(std::int32_t id);
    const RtuSlot* FindRtu(std::int32_t id) const;
    // The first slot whose uidText equals text exactly, or null.
    RtuSlot* FindRtuByUidText(std::string_view text);

    RtuSlot& Slot(std::size_t index) { return slots[index]; }
    const RtuSlot& Slot(std::size_t index) const { return slots[index]; }
    // The slot's position in the table, for log lines.
    std::size_t IndexOf(const RtuSlot& slot) const { return static_cast<std::size_t>(&slot - slots.data()); }
    // The last report of each slot's RTU, by slot index.
    RtuActivity& Activity() { return activity; }
    const RtuActivity& Activity() const { return activity; }
    // The reports of unit ids that no slot holds.
    UnregisteredRtus& Unregistered() { return unregistered; }
    const UnregisteredRtus& Unregistered() const { return unregistered; }

private:
    std::array<RtuSlot, kSlots> slots;
    RtuActivity activity;
    UnregisteredRtus unregistered;
};

// The process-wide table the program runs with.
RtuTable& LiveRtuTable();
