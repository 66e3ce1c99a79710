#include "web/MonitoringEndpoint.h"

#include "web/MetricsPage.h"
#include "web/StatusApi.h"

HttpRoutes MonitoringRoutes(const MonitorSources& sources) {
    HttpRoutes routes;
    const MonitorSources* s = &sources;
    routes.Exact("/metrics", [s](const HttpRequest&) {
        return HttpAnswer{200, kMetricsContentType, RenderMetrics(*s)};
    });
    routes.Exact("/healthz", [s](const HttpRequest&) { return HealthAnswer(*s); });
    routes.Exact("/api/status", [s](const HttpRequest&) { return StatusAnswer(*s); });
    routes.Exact("/api/rtus", [s](const HttpRequest&) { return RtuListAnswer(*s); });
    routes.Prefix("/api/rtus/", [s](const HttpRequest& request) { return RtuAnswer(*s, request.tail); });
    return routes;
}

std::unique_ptr<HttpEndpoint> StartMonitoringEndpoint(const HttpSettings& settings, const MonitorSources& sources,
                                                      IMessageBox& messageBox) {
    if (settings.listen.empty()) return nullptr;
    std::string error;
    std::unique_ptr<HttpEndpoint> endpoint = HttpEndpoint::Start(settings, MonitoringRoutes(sources), error);
    if (!endpoint)
        messageBox.Show("HTTP endpoint off: " + error, std::string(), MessageIcon::Warning, MessageButtons::Ok);
    return endpoint;
}
