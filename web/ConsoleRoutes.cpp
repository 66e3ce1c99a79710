#include "web/ConsoleRoutes.h"

#include <memory>

#include "web/ConsoleAssets.h"
#include "web/ConsoleTexts.h"
#include "web/ConsoleTopics.h"
#include "web/EventHub.h"
#include "web/HistoryApi.h"

namespace {

HttpAnswer NotFound() { return {404, "text/plain; charset=utf-8", "not found\n"}; }

HttpAnswer Asset(std::string_view name) {
    const ConsoleAsset* asset = FindConsoleAsset(name);
    if (asset == nullptr) return NotFound();
    return {200, std::string(asset->contentType), std::string(asset->body)};
}

// "/rtu/12" is the RTU page, "/rtu/12/history" its history page; the scripts read the unit id from
// the address.
HttpAnswer RtuPage(const std::string& tail) {
    const std::size_t slash = tail.find('/');
    if (slash == std::string::npos) return Asset("rtu.html");
    if (slash > 0 && tail.substr(slash) == "/history") return Asset("history.html");
    return NotFound();
}

}  // namespace

void AddConsoleRoutes(HttpRoutes& routes, const MonitorSources& sources) {
    routes.Exact("/", [](const HttpRequest&) { return Asset("index.html"); });
    routes.Exact("/status", [](const HttpRequest&) { return Asset("status.html"); });
    routes.Exact("/raw", [](const HttpRequest&) { return Asset("raw.html"); });
    // Browsers ask for it on every page; the console has none.
    routes.Exact("/favicon.ico", [](const HttpRequest&) { return HttpAnswer{204, "image/x-icon", ""}; });
    routes.Prefix("/rtu/", [](const HttpRequest& request) { return RtuPage(request.tail); });
    routes.Prefix("/assets/", [](const HttpRequest& request) {
        return request.tail.find('/') == std::string::npos ? Asset(request.tail) : NotFound();
    });

    // The INI texts are read once; the time zone at each request, since it may change with the season.
    const nlohmann::json texts = ConsoleTexts();
    routes.Exact("/api/texts", [texts](const HttpRequest&) {
        nlohmann::json body = texts;
        body["time_zone"] = ServerTimeZone();
        return HttpAnswer{200, "application/json",
                          body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n"};
    });
    const MonitorSources* s = &sources;
    // Used only on the endpoint's one worker, which runs the history answers one at a time.
    std::shared_ptr<HistoryReadConnection> reader;
    if (sources.database != nullptr) reader = std::make_shared<HistoryReadConnection>(*sources.database);
    routes.Exact("/api/history",
                 [s, reader](const HttpRequest& request) { return HistoryAnswer(*s, reader, request, false); });
    routes.Exact("/api/history.csv",
                 [s, reader](const HttpRequest& request) { return HistoryAnswer(*s, reader, request, true); });

    auto hub = std::make_shared<EventHub>(ConsoleTopics(sources));
    routes.Exact("/api/events",
                 [hub](const HttpRequest& request) { return hub->Open(request.Argument("topic"), request.address); });
    routes.OnStop([hub] { hub->Stop(); });
}
