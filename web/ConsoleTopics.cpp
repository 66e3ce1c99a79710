#include "web/ConsoleTopics.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "web/RawDataTail.h"
#include "web/StatusApi.h"

using nlohmann::json;

namespace {

constexpr const char* kEventLogPath = "Log.txt";

// Texts from the RTUs may hold bytes that are not UTF-8: replaced, never refused.
std::string Line(const json& body) { return body.dump(-1, ' ', false, json::error_handler_t::replace); }

std::optional<TopicText> Raw(const MonitorSources& sources, std::uint64_t& cursor) {
    if (sources.rawData == nullptr) return TopicText{Line(json{{"reset", true}, {"lines", json::array()}}), {}};
    std::vector<std::string> added;
    const std::uint64_t newest = sources.rawData->LinesAfter(cursor, added);
    std::vector<std::string> shown;
    sources.rawData->LinesAfter(newest > kRawLinesShown ? newest - kRawLinesShown : 0, shown);
    TopicText text{Line(json{{"reset", true}, {"lines", shown}}), Line(json{{"reset", false}, {"lines", added}})};
    cursor = newest;
    return text;
}

// No uptime here: the page counts it from the start time, so an idle server sends no event.
json Status(const MonitorSources& sources) {
    json body = StatusJson(sources);
    body["log"] = FileTail(kEventLogPath, kLogTailLines, kLogTailBytes);
    return body;
}

}  // namespace

std::vector<std::string> FileTail(const char* path, std::size_t lines, std::size_t maxBytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    const std::streamoff start = size > static_cast<std::streamoff>(maxBytes) ? size - maxBytes : 0;
    file.seekg(start);
    std::string text(static_cast<std::size_t>(size - start), '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    std::vector<std::string> all;
    std::size_t begin = 0;
    // A read that starts inside a line drops that partial line.
    if (start > 0) begin = text.find('\n') == std::string::npos ? text.size() : text.find('\n') + 1;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        all.push_back(std::move(line));
        begin = end + 1;
    }
    if (all.size() > lines) all.erase(all.begin(), all.end() - static_cast<std::ptrdiff_t>(lines));
    return all;
}

TopicRenderer ConsoleTopics(const MonitorSources& sources) {
    const MonitorSources* s = &sources;
    return [s](const std::string& topic, std::uint64_t& cursor) -> std::optional<TopicText> {
        if (topic == "fleet")
            return TopicText{Line(json{{"rtus", RtuListJson(*s)}, {"stale_seconds", s->staleSeconds}}), {}};
        if (topic == "status") return TopicText{Line(Status(*s)), {}};
        if (topic == "raw") return Raw(*s, cursor);
        if (topic.rfind("rtu:", 0) == 0) {
            const std::optional<json> rtu = RtuJson(*s, topic.substr(4));
            if (rtu) return TopicText{Line(*rtu), {}};
        }
        return std::nullopt;
    };
}
