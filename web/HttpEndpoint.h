#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "web/DeferredWork.h"
#include "web/HttpRoutes.h"
#include "web/HttpSettings.h"

struct MHD_Daemon;
struct MHD_Connection;

// The monitoring endpoint: GNU libmicrohttpd serving the routes on its own epoll thread, never on
// the connection server's threads. Only GET and HEAD are served (405 otherwise); request headers
// over kMaxHeaderBytes are refused (431); with a password every path asks for it (401); a path
// with a "." or ".." segment is refused (400). At most kMaxConnections connections are open at
// once, and one idle for kIdleSeconds is closed. Connections may be suspended (event streams, and
// requests whose deferred answer is built on the worker). Every answer carries the console's
// safety headers: a content security policy that allows only the endpoint's own scripts, styles
// and images and no framing, "nosniff", and HSTS when the endpoint speaks HTTPS.
//
// Threads: Start and the destructor on the owner's thread; the routes run on the endpoint's thread,
// deferred answers on its worker.
class HttpEndpoint {
public:
    static constexpr unsigned kMaxConnections = 64;
    static constexpr unsigned kIdleSeconds = 30;
    static constexpr std::size_t kMaxHeaderBytes = 8 * 1024;

    // Starts serving; null, with `error` saying why in one sentence, when the settings are refused
    // or the address, port, certificate or key cannot be used.
    static std::unique_ptr<HttpEndpoint> Start(const HttpSettings& settings, HttpRoutes routes, std::string& error);
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Where it listens, as a URL ("https://127.0.0.1:5080"), with the port the system picked for 0.
    const std::string& Url() const { return url; }
    std::uint16_t Port() const { return port; }

private:
    friend struct EndpointCallbacks;  // libmicrohttpd's callbacks, in the .cpp

    HttpEndpoint(const HttpSettings& settings, HttpRoutes routes);
    bool Listen(std::string& error);
    // The answer to one request; `headerBytes` is the size of its header fields.
    HttpAnswer Answer(MHD_Connection* connection, const std::string& url, const std::string& method,
                      std::size_t headerBytes);
    // Hands the answer to the connection; false when the library refused it.
    bool Queue(MHD_Connection* connection, const HttpAnswer& answer);
    bool Authorized(MHD_Connection* connection);

    HttpSettings settings;
    HttpRoutes routes;
    MHD_Daemon* daemon = nullptr;
    std::string certificate;  // PEM texts: libmicrohttpd reads them from memory while it runs
    std::string key;
    std::string url;
    std::uint16_t port = 0;
    DeferredWork work;
    std::mutex authLock;       // guards lastAccepted
    std::string lastAccepted;  // the last "user:password" that checked, to skip the slow hash
};
