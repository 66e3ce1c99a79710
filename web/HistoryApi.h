#pragma once

#include <memory>
#include <optional>
#include <string>

#include "storage/HistoryReadConnection.h"
#include "web/HttpRoutes.h"
#include "web/MonitorSources.h"

// The console's history of one channel, with the query rules of the RTU state page:
//   /api/history?uid=12&channel=AIN1[&range=1&from=2026-12-01&to=2026-12-07][&cmp=0|1|2&value=5]
// and the chart's zoom, the rows that arrived in a span of time (LTIME, both ends included):
//   [&ltime_from=2026-12-07 10:00:00&ltime_to=2026-12-07 11:30:00]
// answers JSON (the title line, the row count, the chart's points and the newest rows), and /api/history.csv the
// CSV export of the same rows, in the window's format. Both are deferred answers: they run on the
// endpoint's worker and read through `reader`, the console's own connection (null without a
// database). A query is counted first and refused over kMaxHistoryRows, or once it has run past its
// time budget.
//
// channel: DIN0-7, DOUT0-7, AIN0-31, SIGNAL, BATT, ITEMP, GRYCODE0-31, ECOUNTER0-31,
// ECOUNTER_REPORT0-31, ETEMP0-31 or MBUSREG0-31, named as their tables are.
HttpAnswer HistoryAnswer(const MonitorSources& sources, const std::shared_ptr<HistoryReadConnection>& reader,
                         const HttpRequest& request, bool csv);

// The page lists the newest rows, at most this many, under the chart.
constexpr std::size_t kListedRows = 200;
// A browser is not given more rows than this; a query that matches more is refused.
constexpr long long kMaxHistoryRows = 100000;

// How the window loads a channel: the channel's name, number (-1 for none) and the display key
// of its history title. None for a channel text that is not one of the above.
struct HistoryChannel {
    std::string name;
    int number = -1;
    std::string displayKey;
};
std::optional<HistoryChannel> ParseHistoryChannel(const std::string& channel);
