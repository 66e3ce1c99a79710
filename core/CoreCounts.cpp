#include "core/CoreCounts.h"

#include "core/ReplyPath.h"
#include "core/RtuTable.h"

CoreCounts coreCounts;

void CountDecoded(ReportKind kind, bool known) {
    constexpr auto relaxed = std::memory_order_relaxed;
    (kind == ReportKind::kFrame ? coreCounts.rtuIoFrames : coreCounts.modbusAdus).fetch_add(1, relaxed);
    if (!known) coreCounts.unknownFrames.fetch_add(1, relaxed);
}

void CountReport(RtuTable& table, const IReplyPath& reply, ReportKind kind, std::int32_t unitId, bool known) {
    CountDecoded(kind, known);
    if (RtuSlot* slot = table.FindRtu(unitId)) {
        table.Activity().Note(table.IndexOf(*slot), reply.Origin(), known);
    } else {
        table.Unregistered().Note(unitId, reply.Origin(), known);
    }
}

std::size_t ModbusFunctionSlot(std::uint8_t functionCode) {
    std::size_t slot = 0;
    while (slot < std::size(kCountedModbusFunctions) && kCountedModbusFunctions[slot] != functionCode) ++slot;
    return slot;
}

void CountModbusRequest(std::uint8_t functionCode, ModbusResult result) {
    coreCounts.modbusRequests[ModbusFunctionSlot(functionCode)][static_cast<std::size_t>(result)].fetch_add(
        1, std::memory_order_relaxed);
}
