#pragma once

#include <string>

#include "web/MonitorSources.h"

// The Prometheus text exposition (format 0.0.4) of every count, the connection table, the history
// writes, each RTU of the live table and the process. Built anew at each scrape from the counts,
// which the data path keeps as plain atomics; runs on the endpoint's thread.
std::string RenderMetrics(const MonitorSources& sources);

inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";
