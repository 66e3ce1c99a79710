#include "web/MonitoringEndpoint.h"

#include <memory>

#include "web/ConsoleRoutes.h"
#include "web/MetricsPage.h"
#include "web/SharedAnswer.h"
#include "web/StatusApi.h"

HttpRoutes MonitoringRoutes(const MonitorSources& sources) {
    HttpRoutes routes;
    const MonitorSources* s = &sources;
    // Built once for every client that asks within a second; a registry reload shows at once.
    const auto registry = [s] { return RegistryFingerprint(*s->table); };
    auto metrics = std::make_shared<SharedAnswer>(
        [s] {
            return HttpAnswer{200, kMetricsContentType, RenderMetrics(*s)};
        },
        registry);
    auto rtus = std::make_shared<SharedAnswer>([s] { return RtuListAnswer(*s); }, registry);
    routes.Exact("/metrics", [metrics](const HttpRequest&) { return metrics->Get(); });
    routes.Exact("/healthz", [s](const HttpRequest&) { return HealthAnswer(*s); });
    routes.Exact("/api/status", [s](const HttpRequest&) { return StatusAnswer(*s); });
    routes.Exact("/api/rtus", [rtus](const HttpRequest&) { return rtus->Get(); });
    routes.Prefix("/api/rtus/", [s](const HttpRequest& request) { return RtuAnswer(*s, request.tail); });
    AddConsoleRoutes(routes, sources);
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
