#pragma once

#include <cstdint>

// The millisecond tick: milliseconds since the machine started, 32 bits, wrapping after ~49.7 days.
std::uint32_t TickCount();

// The RID of a new history row: the tick when it is later than the last RID handed out, else the
// last plus one, so no two rows of this process share a key even within one tick. Printed as a
// signed 32-bit number. Safe from any thread.
std::int32_t NextRecordId();

// Tells that `rid` was used (found free above a table's maximum): later RIDs come after it.
void RecordIdUsed(std::int32_t rid);

// Given tick and last RID, the next (wrap-aware: a tick just past the wrap counts as later).
std::uint32_t NextRecordId(std::uint32_t tick, std::uint32_t last);
