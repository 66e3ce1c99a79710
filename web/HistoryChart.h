#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "storage/HistoryView.h"

// The history chart's points, drawn over the rows' arrival times (LTIME):
//   [row number, LTIME text, value] for every row, or with more than kMaxChartPoints rows the
//   smallest and the largest value of each of kMaxChartPoints / 2 runs of rows, so no peak
//   disappears; and a null between two rows further apart than a gap, so the chart breaks its line
//   where nothing was reported. The rows on either side of a gap are always points.
nlohmann::json ChartPoints(const std::vector<HistoryRow>& rows);

constexpr std::size_t kMaxChartPoints = 2000;
// Two rows further apart than this many times the median time between rows leave a gap.
constexpr long long kGapMedianFactor = 5;
// At most this many gaps are drawn, the longest ones: a history of scattered readings is no line of
// thousands of pieces.
constexpr std::size_t kMaxChartGaps = 200;

// "2026-12-07 12:00:01" as seconds, reading the text as a wall-clock time in UTC (so that two texts
// subtract to their distance); none for another text.
std::optional<long long> WallClockSeconds(const std::string& text);
