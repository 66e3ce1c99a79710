#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "web/HttpRoutes.h"
#include "web/MonitorSources.h"

// The JSON answers of the status API (documented in docs/http-api.md). Each runs on the endpoint's
// thread and reads the table and the counts as they are at that moment.
HttpAnswer StatusAnswer(const MonitorSources& sources);
HttpAnswer RtuListAnswer(const MonitorSources& sources);
// One RTU by unit id text, with every channel value; 404 with a JSON error when it is not in the table.
HttpAnswer RtuAnswer(const MonitorSources& sources, const std::string& uid);
// 200 while no reading is being lost, saying which way readings go; 503 with the reason otherwise
// (HealthCheck.h).
HttpAnswer HealthAnswer(const MonitorSources& sources);

// The JSON bodies of StatusAnswer, RtuListAnswer and RtuAnswer (none: no such RTU), for the
// console's event streams.
nlohmann::json StatusJson(const MonitorSources& sources);
nlohmann::json RtuListJson(const MonitorSources& sources);
std::optional<nlohmann::json> RtuJson(const MonitorSources& sources, const std::string& uid);

// A time in milliseconds since 1970 as local ISO 8601 text with its offset ("2026-12-07T12:00:00+01:00").
std::string IsoLocalTime(std::int64_t ms);
