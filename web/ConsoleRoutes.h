#pragma once

#include "web/HttpRoutes.h"
#include "web/MonitorSources.h"

// The read-only web console on the monitoring endpoint:
//   pages   /  (the fleet), /rtu/{uid}, /rtu/{uid}/history, /status, /raw;
//   files   /assets/{name}: the pages' style sheet and scripts, and Chart.js;
//   data    /api/texts (the INI texts), /api/events?topic=... (Server-Sent Events), /api/history and
//           /api/history.csv (see HistoryApi.h).
// `sources` must outlive the routes; the event streams end through the routes' stop hook.
void AddConsoleRoutes(HttpRoutes& routes, const MonitorSources& sources);
