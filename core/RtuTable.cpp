#include "core/RtuTable.h"

RtuSlot* RtuTable::FindRtu(std::int32_t id) {
    for (auto& slot : slots) {
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
