#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "web/ConnectionGuard.h"
#include "web/DeferredWork.h"
#include "web/HttpRoutes.h"
#include "web/HttpSettings.h"
#include "web/LoginThrottle.h"

struct MHD_Daemon;
struct MHD_Connection;

// The monitoring endpoint: GNU libmicrohttpd serving the routes on its own epoll thread, never on
// the connection server's threads. Only GET and HEAD are served (405 otherwise); request headers
// over kMaxHeaderBytes are refused (431); with a password every path asks for it (401), and
// answers to an address that keeps giving wrong ones slow down (LoginThrottle); a path with a "."
// or ".." segment is refused (400). Connections are limited in number, overall and per address,
// and one idle for kIdleSeconds is closed; the ConnectionGuard keeps the last of them for /healthz
// and /metrics, whatever slow clients and event streams do (others get 503 then). Connections may
// be suspended (event streams, requests whose deferred answer is built on the worker, slowed
// answers). HTTPS speaks TLS 1.2 and 1.3 with forward-secret AEAD suites only (kTlsPriorities).
// Every answer carries the console's safety headers: a content security policy that allows only
// the endpoint's own scripts, styles and images and no framing, "nosniff", and HSTS with HTTPS.
//
// Threads: Start and the destructor on the owner's thread; the routes run on the endpoint's thread,
// deferred answers on its worker.
class HttpEndpoint {
public:
    static constexpr unsigned kIdleSeconds = 30;
    // GnuTLS's priorities: TLS 1.2 and 1.3, ephemeral key exchange, AEAD ciphers.
    static constexpr const char* kTlsPriorities =
        "SECURE128:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-KX-ALL:+ECDHE-ECDSA:+ECDHE-RSA:-CIPHER-ALL:"
        "+AES-256-GCM:+CHACHA20-POLY1305:+AES-128-GCM:-MAC-ALL:+AEAD";
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
    // Answers held back now because their address gave too many wrong passwords.
    std::size_t HeldAnswers() const { return guard.HeldCount(); }

private:
    friend struct EndpointCallbacks;  // libmicrohttpd's callbacks, in the .cpp

    HttpEndpoint(const HttpSettings& settings, HttpRoutes routes);
    bool Listen(std::string& error);
    // The answer to one request; `headerBytes` is the size of its header fields.
    HttpAnswer Answer(MHD_Connection* connection, const std::string& url, const std::string& method,
                      std::size_t headerBytes);
    // Hands the answer to the connection; false when the library refused it.
    bool Queue(MHD_Connection* connection, const HttpAnswer& answer);
    // Counts a wrong password against the client's address.
    bool Authorized(MHD_Connection* connection);
    // Suspends the request when answers to its address are slowed; the guard resumes it.
    bool HoldBack(MHD_Connection* connection);

    HttpSettings settings;
    HttpRoutes routes;
    MHD_Daemon* daemon = nullptr;
    std::string certificate;  // PEM texts: libmicrohttpd reads them from memory while it runs
    std::string key;
    std::string url;
    std::uint16_t port = 0;
    DeferredWork work;
    ConnectionGuard guard;
    LoginThrottle throttle;    // the endpoint's thread only
    std::mutex authLock;       // guards lastAccepted
    std::string lastAccepted;  // the last "user:password" that checked, to skip the slow hash
};
