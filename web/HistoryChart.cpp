#include "web/HistoryChart.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

using nlohmann::json;

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

double Value(const HistoryRow& row) { return std::strtod(row.value.c_str(), nullptr); }

// Row indexes i whose time is further than a gap from row i - 1's, the longest kMaxChartGaps of them,
// in row order.
std::vector<std::size_t> Gaps(const std::vector<std::optional<long long>>& times) {
    std::vector<long long> steps;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] && times[i - 1] && *times[i] > *times[i - 1]) steps.push_back(*times[i] - *times[i - 1]);
    }
    if (steps.empty()) return {};
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
    const long long gap = std::max(1LL, steps[steps.size() / 2]) * kGapMedianFactor;
    std::vector<std::pair<long long, std::size_t>> found;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] && times[i - 1] && *times[i] - *times[i - 1] > gap)
            found.push_back({*times[i] - *times[i - 1], i});
    }
    if (found.size() > kMaxChartGaps) {
        std::nth_element(found.begin(), found.begin() + kMaxChartGaps, found.end(), std::greater<>());
        found.resize(kMaxChartGaps);
    }
    std::vector<std::size_t> gaps;
    for (const auto& [length, row] : found) gaps.push_back(row);
    std::sort(gaps.begin(), gaps.end());
    return gaps;
}

// The rows drawn: every row, or the smallest and largest of each run; the rows beside each gap too.
std::vector<std::size_t> DrawnRows(const std::vector<HistoryRow>& rows, const std::vector<std::size_t>& gaps) {
    std::vector<std::size_t> drawn;
    const std::size_t runs = rows.size() <= kMaxChartPoints ? rows.size() : kMaxChartPoints / 2;
    for (std::size_t run = 0; run < runs; ++run) {
        const std::size_t begin = run * rows.size() / runs;
        const std::size_t end = (run + 1) * rows.size() / runs;
        std::size_t low = begin, high = begin;
        for (std::size_t i = begin; i < end; ++i) {
            if (Value(rows[i]) < Value(rows[low])) low = i;
            if (Value(rows[i]) > Value(rows[high])) high = i;
        }
        drawn.push_back(low);
        drawn.push_back(high);
    }
    for (std::size_t row : gaps) {
        drawn.push_back(row - 1);
        drawn.push_back(row);
    }
    std::sort(drawn.begin(), drawn.end());
    drawn.erase(std::unique(drawn.begin(), drawn.end()), drawn.end());
    return drawn;
}

}  // namespace

std::optional<long long> WallClockSeconds(const std::string& text) {
    static constexpr char kPattern[] = "dddd-dd-dd dd:dd:dd";
    if (text.size() != sizeof kPattern - 1) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i]) return std::nullopt;
    }
    const auto number = [&text](std::size_t at, std::size_t length) {
        return std::atoi(text.substr(at, length).c_str());
    };
    const int month = number(5, 2), day = number(8, 2), hour = number(11, 2), minute = number(14, 2),
              second = number(17, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    return DaysFromCivil(number(0, 4), static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
           minute * 60 + second;
}

json ChartPoints(const std::vector<HistoryRow>& rows) {
    std::vector<std::optional<long long>> times;
    times.reserve(rows.size());
    for (const HistoryRow& row : rows) times.push_back(WallClockSeconds(row.localTime));
    const std::vector<std::size_t> gaps = Gaps(times);
    json points = json::array();
    auto nextGap = gaps.begin();
    for (std::size_t i : DrawnRows(rows, gaps)) {
        if (nextGap != gaps.end() && *nextGap == i) {
            points.push_back(nullptr);
            ++nextGap;
        }
        points.push_back({i, rows[i].localTime, Value(rows[i])});
    }
    return points;
}
