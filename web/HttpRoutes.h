#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

// One answer of the endpoint, whole in memory.
struct HttpAnswer {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
};

// The request as a route sees it: the path without its query, and what follows a prefix route's
// prefix ("12" for "/api/rtus/12"; empty for an exact route).
struct HttpRequest {
    std::string path;
    std::string tail;
};

using HttpHandler = std::function<HttpAnswer(const HttpRequest&)>;

// The endpoint's paths: exact ones ("/metrics") and prefixes ("/api/rtus/"), searched in the order
// they were added. Filled before the endpoint starts and only read after, from its thread.
class HttpRoutes {
public:
    void Exact(std::string path, HttpHandler handler) {
        routes.push_back({std::move(path), false, std::move(handler)});
    }
    void Prefix(std::string prefix, HttpHandler handler) {
        routes.push_back({std::move(prefix), true, std::move(handler)});
    }

    // The handler for the path, with request.tail filled; null when no route matches.
    const HttpHandler* Find(HttpRequest& request) const {
        for (const Route& route : routes) {
            if (!route.prefix && request.path == route.path) return &route.handler;
            if (route.prefix && request.path.size() > route.path.size() && request.path.rfind(route.path, 0) == 0) {
                request.tail = request.path.substr(route.path.size());
                return &route.handler;
            }
        }
        return nullptr;
    }

private:
    struct Route {
        std::string path;
        bool prefix;
        HttpHandler handler;
    };
    std::vector<Route> routes;
};
