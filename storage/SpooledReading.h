#pragma once

#include <cstdint>

#include "storage/HistoryReading.h"

// A reading held in the spool, with where each of its two rows stands.
struct SpooledReading {
    std::int64_t sequence = 0;   // the spool's own order: the order of arrival; 0 while not in the spool
    std::int64_t arrivedAt = 0;  // seconds since the epoch
    HistoryReading reading;
    RowProgress channel;
    RowProgress fullRcds;

    RowProgress& Row(HistoryRowKind kind) { return kind == HistoryRowKind::Channel ? channel : fullRcds; }
    const RowProgress& Row(HistoryRowKind kind) const { return kind == HistoryRowKind::Channel ? channel : fullRcds; }
};
