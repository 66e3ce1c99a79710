#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct MHD_Connection;
struct MHD_Response;

// One answer of the endpoint: whole in memory, or one of two kinds that are not. A `stream`
// builds the response of a long-lived stream (the event stream) for its connection. A `deferred`
// answer is slow to build (it reads the database): the endpoint builds it on its worker thread
// while the connection waits, suspended, so the endpoint's own thread goes on serving the others.
struct HttpAnswer {
    HttpAnswer() = default;
    HttpAnswer(int status, std::string contentType, std::string body)
        : status(status), contentType(std::move(contentType)), body(std::move(body)) {}

    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    // Set instead of `body`: a body shared with other answers, sent without a copy.
    std::shared_ptr<const std::string> sharedBody;
    std::vector<std::pair<std::string, std::string>> headers;  // besides the ones every answer has
    std::function<MHD_Response*(MHD_Connection*)> stream;
    std::function<HttpAnswer()> deferred;
};

// The request as a route sees it: the path without its query, what follows a prefix route's
// prefix ("12" for "/api/rtus/12"; empty for an exact route), the query's arguments, decoded, and
// the client's address ("192.0.2.7").
struct HttpRequest {
    std::string path;
    std::string tail;
    std::map<std::string, std::string> query;
    std::string address;

    std::string Argument(const std::string& key) const {
        const auto found = query.find(key);
        return found == query.end() ? std::string() : found->second;
    }
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

    // Run, in the order added, before the endpoint stops: whatever keeps connections suspended lets
    // them go here.
    void OnStop(std::function<void()> hook) { stopHooks.push_back(std::move(hook)); }
    void RunStopHooks() const {
        for (const auto& hook : stopHooks) hook();
    }

private:
    struct Route {
        std::string path;
        bool prefix;
        HttpHandler handler;
    };
    std::vector<Route> routes;
    std::vector<std::function<void()>> stopHooks;
};
