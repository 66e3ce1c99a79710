#include "web/HistoryApi.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "storage/HistoryBrowser.h"
#include "storage/HistoryReader.h"
#include "storage/sql/ComposeStatement.h"
#include "storage/sql/SQLException.h"
#include "web/HistoryChart.h"

using nlohmann::json;

namespace {

// Channel numbers of a page never reach this.
constexpr int kMaxChannelNumber = 32;

struct ChannelKind {
    const char* name;
    bool numbered;
    const char* displayKey;  // "%d" takes the number
};

// The state page's channel buttons and the register list, as they call the history load.
constexpr ChannelKind kChannels[] = {
    {"DIN", true, "DIN"},
    {"DOUT", true, "DOUT"},
    {"AIN", true, "AD%d"},
    {"SIGNAL", false, "SIGNAL"},
    {"BATT", false, "BATT"},
    {"ITEMP", false, "ITEMP"},
    {"GRYCODE", true, "GRAYCODE%d"},
    {"ECOUNTER_REPORT", true, "COUNTER%d"},
    {"ECOUNTER", true, "COUNTER%d"},
    {"ETEMP", true, "ETEMP"},
    {"MBUSREG", true, "MBUSREG%d"},
};

struct Query {
    std::string table;
    std::string statement;
    std::string title;
    std::string refusal;  // set: refused before reaching the database
};

HttpAnswer Json(int status, const json& body) {
    return {status, "application/json", body.dump(-1, ' ', false, json::error_handler_t::replace) + "\n"};
}

// "2026-12-07" as a time on that day (noon, clear of daylight-saving changes); none otherwise.
std::optional<std::time_t> ParseDay(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return std::nullopt;
    }
    std::tm day{};
    day.tm_year = std::atoi(text.substr(0, 4).c_str()) - 1900;
    day.tm_mon = std::atoi(text.substr(5, 2).c_str()) - 1;
    day.tm_mday = std::atoi(text.substr(8, 2).c_str());
    day.tm_hour = 12;
    day.tm_isdst = -1;
    if (day.tm_mon < 0 || day.tm_mon > 11 || day.tm_mday < 1 || day.tm_mday > 31) return std::nullopt;
    return std::mktime(&day);
}

// The rows that arrived in the zoom's span, when the request gives one: none for no span, an empty
// text for a span that is not two times as LTIME holds them.
std::optional<std::string> ArrivalCondition(const HttpRequest& request) {
    const std::string from = request.Argument("ltime_from");
    const std::string to = request.Argument("ltime_to");
    if (from.empty() && to.empty()) return std::nullopt;
    // Checked digit by digit, so the texts can go into the statement as they are.
    if (!WallClockSeconds(from) || !WallClockSeconds(to)) return std::string();
    return "LTIME >= '" + from + "' AND LTIME <= '" + to + "'";
}

// The statement and title the window would use: the channel's whole table, or with a filter the
// query of its filter button (whose title has no display name); either narrowed to a zoom's span.
Query Compose(const std::string& uid, const HistoryChannel& channel, const HttpRequest& request) {
    Query query;
    query.table = HistoryTableName(uid, channel.name, channel.number);
    query.title = HistoryTitle(uid, channel.number, channel.displayKey);
    HistoryFilter filter;
    filter.useTimeRange = request.Argument("range") == "1";
    filter.valueText = request.Argument("value");
    const std::string compare = request.Argument("cmp");
    filter.valueCompare = compare.size() == 1 && compare[0] >= '0' && compare[0] <= '2' ? compare[0] - '0' : -1;
    if (filter.useTimeRange) {
        const auto from = ParseDay(request.Argument("from"));
        const auto to = ParseDay(request.Argument("to"));
        if (!from || !to) {
            query.refusal = "The dates must be given as YYYY-MM-DD.";
            return query;
        }
        filter.fromDate = *from;
        filter.toDate = *to;
    }
    const std::optional<std::string> arrival = ArrivalCondition(request);
    if (arrival && arrival->empty()) {
        query.refusal = "The zoom's times must be given as YYYY-MM-DD HH:MM:SS.";
        return query;
    }
    const std::optional<std::string> filtered = ComposeHistoryQuery(query.table, filter);
    if (!filtered) {
        query.statement = "SELECT * FROM " + query.table + (arrival ? " WHERE " + *arrival : "");
    } else if (filtered->empty()) {
        query.refusal = "The value filter is not a number.";
    } else {
        query.statement = *filtered + (arrival ? " AND " + *arrival : "");
        query.title = HistoryTitle(uid, -1, "");
    }
    return query;
}

// The newest rows as the history list shows them: row number, value, RTU time, server time.
json NewestRows(const std::vector<HistoryRow>& rows) {
    json newest = json::array();
    for (std::size_t i = rows.size() > kListedRows ? rows.size() - kListedRows : 0; i < rows.size(); ++i) {
        newest.push_back({i, rows[i].value, rows[i].rtuTime, rows[i].localTime});
    }
    return newest;
}

std::string TimedOut(unsigned seconds) {
    return "The query ran longer than " + std::to_string(seconds) +
           " s and was cancelled. Narrow it with the dates or the value filter.";
}

// A refusal says why, and the JSON one the title, so that the page keeps naming the channel.
HttpAnswer Refused(const Query& query, const std::string& why, bool csv) {
    return csv ? HttpAnswer{422, "text/plain; charset=utf-8", why + "\n"}
               : Json(200, json{{"refused", why}, {"title", query.title}});
}

HttpAnswer Run(HistoryReadConnection* reader, const Query& query, bool csv) {
    const auto refused = [&query, csv](const std::string& why) { return Refused(query, why, csv); };
    if (reader == nullptr || reader->StartQuery() != HistoryReadEnd::kDone) return refused("The database is not open.");
    // A table that does not exist or a condition the engine rejects leaves the list empty, as in the window.
    long long count = 0;
    const HistoryReadEnd counted = reader->Count(query.statement, count);
    if (counted == HistoryReadEnd::kTimedOut) return refused(TimedOut(reader->BudgetSeconds()));
    if (counted != HistoryReadEnd::kDone) count = 0;
    if (count > kMaxHistoryRows) {
        return refused("The query matches " + std::to_string(count) + " rows; a browser is shown at most " +
                       std::to_string(kMaxHistoryRows) + ". Narrow it with the dates or the value filter.");
    }
    std::vector<HistoryRow> rows;
    if (count > 0 && reader->Read(query.statement, rows) == HistoryReadEnd::kTimedOut)
        return refused(TimedOut(reader->BudgetSeconds()));
    const std::string titleLine = std::to_string(rows.size()) + " " + query.title;
    if (!csv) {
        return Json(200, json{{"title", titleLine},
                              {"rows", rows.size()},
                              {"points", ChartPoints(rows)},
                              {"newest", NewestRows(rows)}});
    }
    std::ostringstream text;
    WriteHistoryCsv(text, titleLine, rows);
    std::string file = query.table + ".csv";
    for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    HttpAnswer answer{200, "text/csv", text.str()};
    answer.headers.push_back({"Content-Disposition", "attachment; filename=\"" + file + "\""});
    return answer;
}

bool InTable(const MonitorSources& sources, const std::string& uid) {
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        if (sources.table->Slot(i).UidTextEquals(uid)) return true;
    }
    return false;
}

}  // namespace

std::optional<HistoryChannel> ParseHistoryChannel(const std::string& channel) {
    for (const ChannelKind& kind : kChannels) {
        const std::string name = kind.name;
        if (channel.rfind(name, 0) != 0) continue;
        const std::string digits = channel.substr(name.size());
        if (!kind.numbered) {
            if (!digits.empty()) continue;
            return HistoryChannel{name, -1, kind.displayKey};
        }
        if (digits.empty() || digits.size() > 2 || (digits.size() == 2 && digits[0] == '0')) continue;
        if (!std::isdigit(static_cast<unsigned char>(digits[0])) ||
            (digits.size() == 2 && !std::isdigit(static_cast<unsigned char>(digits[1]))))
            continue;
        const int number = std::atoi(digits.c_str());
        if (number >= kMaxChannelNumber) return std::nullopt;
        std::string key = kind.displayKey;
        if (key.size() > 2 && key.compare(key.size() - 2, 2, "%d") == 0) key.replace(key.size() - 2, 2, digits);
        return HistoryChannel{name, number, key};
    }
    return std::nullopt;
}

HttpAnswer HistoryAnswer(const MonitorSources& sources, const std::shared_ptr<HistoryReadConnection>& reader,
                         const HttpRequest& request, bool csv) {
    const std::string uid = request.Argument("uid");
    if (uid.empty() || !InTable(sources, uid))
        return Json(404, json{{"error", "no RTU with unit id " + uid + " in the live table"}});
    const std::optional<HistoryChannel> channel = ParseHistoryChannel(request.Argument("channel"));
    if (!channel) return Json(400, json{{"error", "no such channel: " + request.Argument("channel")}});
    Query query;
    try {
        query = Compose(uid, *channel, request);
    } catch (const CSQLException&) {
        query.refusal = "The query is too long.";  // composed in the window's fixed areas
    }
    if (!query.refusal.empty()) return Refused(query, query.refusal, csv);
    HttpAnswer answer;
    answer.deferred = [reader, query, csv] { return Run(reader.get(), query, csv); };
    return answer;
}
