#include "web/HttpEndpoint.h"

#include <arpa/inet.h>
#include <crypt.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace {

constexpr const char* kRealm = "Telvorn";
constexpr int kListenBacklog = 64;

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream contents;
    contents << file.rdbuf();
    text = contents.str();
    return !text.empty();
}

// Compares without stopping at the first difference, so the time taken tells nothing.
bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

bool IsCleanPath(const std::string& path) {
    if (path.empty() || path.front() != '/') return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string segment = path.substr(start, end - start);
        if (segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

MHD_Result CountHeaderBytes(void* total, MHD_ValueKind, const char* key, const char* value) {
    // Each field costs its name, ": ", its value and the line end on the wire.
    *static_cast<std::size_t*>(total) += std::strlen(key) + (value ? std::strlen(value) : 0) + 4;
    return MHD_YES;
}

MHD_Result CollectArgument(void* query, MHD_ValueKind, const char* key, const char* value) {
    (*static_cast<std::map<std::string, std::string>*>(query))[key] = value != nullptr ? value : "";
    return MHD_YES;
}

// Socket errors go to the one line of the caller; libmicrohttpd's own messages are not wanted.
void DropLibraryMessage(void*, const char*, va_list) {}

// What the endpoint knows of one request between the library's calls. kHeld: suspended until the
// guard resumes it (a slowed answer). kWaiting: suspended while the worker builds its deferred
// answer; the worker writes `answer` and `phase` before it resumes the connection, and the
// endpoint's thread reads them only after the resume.
struct RequestState {
    enum class Phase { kNew, kHeld, kWaiting, kReady, kAnswered };
    Phase phase = Phase::kNew;
    HttpAnswer answer;
};

// The answer to a request that would take a connection kept for /healthz and /metrics; the
// connection is closed after it.
HttpAnswer Busy() {
    HttpAnswer answer{503, "text/plain; charset=utf-8",
                      "busy: the last connections are kept for /healthz and /metrics\n"};
    answer.headers.push_back({"Connection", "close"});
    answer.headers.push_back({"Retry-After", "5"});
    return answer;
}

void AddSafetyHeaders(MHD_Response* response, bool tls) {
    MHD_add_response_header(response, "Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    if (tls) MHD_add_response_header(response, "Strict-Transport-Security", "max-age=31536000");
}

}  // namespace

struct EndpointCallbacks {
    static void NotifyConnection(void* self, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code) {
        auto& endpoint = *static_cast<HttpEndpoint*>(self);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) endpoint.guard.Started(connection);
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) endpoint.guard.Closed(connection);
    }

    static void ForgetRequest(void* self, MHD_Connection* connection, void** state, MHD_RequestTerminationCode) {
        delete static_cast<RequestState*>(*state);
        *state = nullptr;
        static_cast<HttpEndpoint*>(self)->guard.RequestDone(connection);
    }

    static MHD_Result Access(void* self, MHD_Connection* connection, const char* url, const char* method, const char*,
                             const char*, std::size_t* uploadSize, void** state) {
        if (*state == nullptr) *state = new RequestState;
        auto& request = *static_cast<RequestState*>(*state);
        auto& endpoint = *static_cast<HttpEndpoint*>(self);
        switch (request.phase) {
            case RequestState::Phase::kNew:
                endpoint.guard.HeadComplete(connection);
                if (endpoint.HoldBack(connection)) {
                    request.phase = RequestState::Phase::kHeld;
                    return MHD_YES;
                }
                break;
            case RequestState::Phase::kHeld:
                break;
            case RequestState::Phase::kReady:
                request.phase = RequestState::Phase::kAnswered;
                return endpoint.Queue(connection, request.answer) ? MHD_YES : MHD_NO;
            case RequestState::Phase::kWaiting:
            case RequestState::Phase::kAnswered:
                // A request with a body comes back for each piece; it was answered on the first
                // call and whatever it uploads is ignored.
                *uploadSize = 0;
                return MHD_YES;
        }
        request.phase = RequestState::Phase::kAnswered;
        return Respond(endpoint, connection, request, url, method);
    }

    // The answer to a request whose turn has come: refused, given at once, or built on the worker.
    static MHD_Result Respond(HttpEndpoint& endpoint, MHD_Connection* connection, RequestState& request,
                              const std::string& url, const std::string& method) {
        std::size_t headerBytes = 0;
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &CountHeaderBytes, &headerBytes);
        if (headerBytes <= HttpEndpoint::kMaxHeaderBytes && !endpoint.settings.passwordHash.empty() &&
            !endpoint.Authorized(connection)) {
            MHD_Response* response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
            AddSafetyHeaders(response, !endpoint.settings.certFile.empty());
            const MHD_Result result = MHD_queue_basic_auth_fail_response(connection, kRealm, response);
            MHD_destroy_response(response);
            return result;
        }
        HttpAnswer answer = endpoint.guard.Admits(url.substr(0, url.find('?')))
                                ? endpoint.Answer(connection, url, method, headerBytes)
                                : Busy();
        if (!answer.deferred) return endpoint.Queue(connection, answer) ? MHD_YES : MHD_NO;
        // Suspended before the job is queued, so the worker's resume always finds it suspended.
        request.phase = RequestState::Phase::kWaiting;
        MHD_suspend_connection(connection);
        endpoint.work.Submit([connection, &request, build = std::move(answer.deferred)](bool run) {
            request.answer = run ? build() : HttpAnswer{503, "text/plain; charset=utf-8", "the server is stopping\n"};
            request.phase = RequestState::Phase::kReady;
            MHD_resume_connection(connection);
        });
        return MHD_YES;
    }
};

std::unique_ptr<HttpEndpoint> HttpEndpoint::Start(const HttpSettings& settings, HttpRoutes routes, std::string& error) {
    error = RefusalReason(settings);
    if (!error.empty()) return nullptr;
    std::unique_ptr<HttpEndpoint> endpoint(new HttpEndpoint(settings, std::move(routes)));
    if (!endpoint->Listen(error)) return nullptr;
    return endpoint;
}

HttpEndpoint::HttpEndpoint(const HttpSettings& settings, HttpRoutes routes)
    : settings(settings), routes(std::move(routes)) {}

// The library refuses to stop while a connection is suspended: the streams and the worker let
// theirs go first.
HttpEndpoint::~HttpEndpoint() {
    routes.RunStopHooks();
    work.Stop();
    guard.Stop();
    if (daemon != nullptr) MHD_stop_daemon(daemon);
}

// The listening socket is made here rather than by the library, so that a port in use is told as
// such and the port the system picked for 0 is known.
bool HttpEndpoint::Listen(std::string& error) {
    const bool tls = !settings.certFile.empty();
    if (tls && (!ReadWholeFile(settings.certFile, certificate) || !ReadWholeFile(settings.keyFile, key))) {
        error = "the certificate " + settings.certFile + " or the key " + settings.keyFile + " cannot be read";
        return false;
    }
    std::string address;
    int wantedPort = 0;
    SplitListen(settings.listen, address, wantedPort);
    if (address == "localhost") address = "127.0.0.1";
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(wantedPort));
        length = sizeof *v4;
    } else {
        inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(wantedPort));
        length = sizeof *v6;
    }
    const int listener = socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (listener < 0 || setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&storage), length) != 0 || listen(listener, kListenBacklog) != 0) {
        error = "cannot listen on " + settings.listen + ": " + std::strerror(errno);
        if (listener >= 0) close(listener);
        return false;
    }
    getsockname(listener, reinterpret_cast<sockaddr*>(&storage), &length);
    port = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
    const std::string host = storage.ss_family == AF_INET6 ? "[" + address + "]" : address;
    url = std::string(tls ? "https://" : "http://") + host + ":" + std::to_string(port);

    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (storage.ss_family == AF_INET6) flags |= MHD_USE_IPv6;
    if (tls) flags |= MHD_USE_TLS;
    MHD_OptionItem tlsOptions[] = {
        {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(certificate.c_str())},
        {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(key.c_str())},
        {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)},
        {MHD_OPTION_END, 0, nullptr},
    };
    daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &EndpointCallbacks::Access, this, MHD_OPTION_LISTEN_SOCKET, listener,
        MHD_OPTION_CONNECTION_LIMIT, ConnectionGuard::kMaxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        ConnectionGuard::kMaxPerAddress, MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_NOTIFY_COMPLETED,
        &EndpointCallbacks::ForgetRequest, this, MHD_OPTION_NOTIFY_CONNECTION, &EndpointCallbacks::NotifyConnection,
        this, MHD_OPTION_EXTERNAL_LOGGER, &DropLibraryMessage, nullptr, MHD_OPTION_ARRAY,
        tls ? tlsOptions : tlsOptions + 3, MHD_OPTION_END);
    if (daemon == nullptr) {
        close(listener);
        error = tls ? "the certificate " + settings.certFile + " and the key " + settings.keyFile +
                          " do not load as a PEM certificate and its key"
                    : "the HTTP library did not start on " + settings.listen;
        return false;
    }
    return true;
}

bool HttpEndpoint::HoldBack(MHD_Connection* connection) {
    if (settings.passwordHash.empty()) return false;
    const auto now = LoginThrottle::Clock::now();
    const auto delay = throttle.Delay(ClientAddress(connection), now);
    if (delay == LoginThrottle::Clock::duration::zero()) return false;
    // Suspended before the guard may resume it.
    MHD_suspend_connection(connection);
    guard.ResumeAt(connection, now + delay);
    return true;
}

bool HttpEndpoint::Authorized(MHD_Connection* connection) {
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    bool accepted = false;
    if (user != nullptr && password != nullptr) {
        const std::string offered = std::string(user) + ":" + password;
        std::lock_guard guard(authLock);
        if (!lastAccepted.empty() && SameSecret(offered, lastAccepted)) {
            accepted = true;
        } else if (SameSecret(user, settings.user)) {
            // crypt_data is large (some 32 KiB): kept off the endpoint thread's stack.
            auto data = std::make_unique<crypt_data>();
            const char* hashed = crypt_r(password, settings.passwordHash.c_str(), data.get());
            accepted = hashed != nullptr && hashed[0] != '*' && SameSecret(hashed, settings.passwordHash);
            if (accepted) lastAccepted = offered;
        }
    }
    // Only a password offered counts: a browser asks without one before it prompts.
    if (accepted)
        throttle.Succeeded(ClientAddress(connection));
    else if (user != nullptr)
        throttle.Failed(ClientAddress(connection), LoginThrottle::Clock::now());
    if (user != nullptr) MHD_free(user);
    if (password != nullptr) MHD_free(password);
    return accepted;
}

HttpAnswer HttpEndpoint::Answer(MHD_Connection* connection, const std::string& url, const std::string& method,
                                std::size_t headerBytes) {
    if (headerBytes > kMaxHeaderBytes) return {431, "text/plain; charset=utf-8", "request headers too large\n"};
    if (method != MHD_HTTP_METHOD_GET && method != MHD_HTTP_METHOD_HEAD) {
        return {405, "text/plain; charset=utf-8", "only GET and HEAD are served\n"};
    }
    HttpRequest request;
    request.path = url.substr(0, url.find('?'));
    request.address = ClientAddress(connection);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &CollectArgument, &request.query);
    if (!IsCleanPath(request.path)) return {400, "text/plain; charset=utf-8", "bad path\n"};
    const HttpHandler* handler = routes.Find(request);
    if (handler == nullptr) return {404, "text/plain; charset=utf-8", "not found\n"};
    return (*handler)(request);
}

bool HttpEndpoint::Queue(MHD_Connection* connection, const HttpAnswer& answer) {
    MHD_Response* response = nullptr;
    if (answer.stream) {
        response = answer.stream(connection);
    } else if (answer.sharedBody) {
        // The response keeps the body alive until it has been sent; no copy is made.
        auto* kept = new std::shared_ptr<const std::string>(answer.sharedBody);
        response = MHD_create_response_from_buffer_with_free_callback_cls(
            (*kept)->size(), const_cast<char*>((*kept)->data()),
            [](void* body) { delete static_cast<std::shared_ptr<const std::string>*>(body); }, kept);
        if (response == nullptr) delete kept;
    } else {
        response = MHD_create_response_from_buffer(answer.body.size(), const_cast<char*>(answer.body.data()),
                                                   MHD_RESPMEM_MUST_COPY);
    }
    if (response == nullptr) return false;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    AddSafetyHeaders(response, !settings.certFile.empty());
    if (answer.status == MHD_HTTP_METHOD_NOT_ALLOWED) MHD_add_response_header(response, "Allow", "GET, HEAD");
    for (const auto& [name, value] : answer.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
    const MHD_Result result = MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
    MHD_destroy_response(response);
    return result == MHD_YES;
}
