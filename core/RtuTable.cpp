#include "core/RtuTable.h"

#include <utility>

RtuSlot* RtuTable::FindRtu(std::int32_t id) { return const_cast<RtuSlot*>(std::as_const(*this).FindRtu(id)); }

const RtuSlot* RtuTable::FindRtu(std::int32_t id) const {
    for (const auto& slot : slots) {
        if (slot.NumericId() == id) return &slot;
    }
    return nullptr;
}

RtuSlot* RtuTable::FindRtuByUidText(std::string_view text) {
    for (auto& slot : slots) {
        if (slot.UidTextEquals(text)) return &slot;
    }
    return nullptr;
}

RtuTable& LiveRtuTable() {
    static RtuTable table;
    return table;
}
