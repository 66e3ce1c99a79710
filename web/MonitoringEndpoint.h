#pragma once

#include <memory>

#include "platform/profile/MessageBox.h"
#include "web/HttpEndpoint.h"
#include "web/MonitorSources.h"

// The endpoint with its routes: /metrics, /healthz, /api/status, /api/rtus and /api/rtus/{uid}, and
// the web console's pages and data (ConsoleRoutes.h). /metrics and /api/rtus are shared answers,
// built at most once a second for all clients; /healthz and the rest are built at each request.
// When it cannot start, one message box (a line on standard error for telvorn-headless) says why,
// "HTTP endpoint off: ...", and null comes back; the RTU server is not affected either way.
// `sources` must outlive the endpoint. Runs on the thread that starts the program.
std::unique_ptr<HttpEndpoint> StartMonitoringEndpoint(const HttpSettings& settings, const MonitorSources& sources,
                                                      IMessageBox& messageBox);

// The routes alone, for the endpoint and for tests and benchmarks that call them directly.
HttpRoutes MonitoringRoutes(const MonitorSources& sources);
