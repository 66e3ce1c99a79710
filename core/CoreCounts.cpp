#include "core/CoreCounts.h"

#include "core/ReplyPath.h"
#include "core/RtuTable.h"

CoreCounts coreCounts;

void CountReport(RtuTable& table, const IReplyPath& reply, ReportKind kind, std::int32_t unitId, bool known) {
    constexpr auto relaxed = std::memory_order_relaxed;
    (kind == ReportKind::kFrame ? coreCounts.rtuIoFrames : coreCounts.modbusAdus).fetch_add(1, relaxed);
    if (!known) coreCounts.unknownFrames.fetch_add(1, relaxed);
    if (RtuSlot* slot = table.FindRtu(unitId)) table.Activity().Note(table.IndexOf(*slot), reply.Origin(), known);
}
