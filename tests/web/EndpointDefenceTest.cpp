// The endpoint under clients that would lock monitoring out: slow heads, many event streams, a
// stream that is never read, password guessing and old TLS, through real loopback sockets. Most
// attackers connect from 127.0.0.2 and up; /healthz and /metrics are asked from 127.0.0.1.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/RunCommand.h"
#include "tests/support/TempWorkingDirectory.h"
#include "tests/support/WaitUntil.h"
#include "web/EventHub.h"
#include "web/HttpEndpoint.h"

namespace {

constexpr int kGenerousMs = 20000;

// A blocking client from 127.0.0.`host` to the endpoint; `receiveBuffer` > 0 shrinks its window.
int ConnectFrom(int host, std::uint16_t port, int receiveBuffer = 0) {
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) setsockopt(client, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK + static_cast<std::uint32_t>(host - 1));
    if (bind(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(client);
        return -1;
    }
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(client);
        return -1;
    }
    return client;
}

// True when the server closes the connection (or resets it) within kGenerousMs without answering.
bool ClosedUnanswered(int client) {
    pollfd watched{client, POLLIN, 0};
    if (poll(&watched, 1, kGenerousMs) != 1) return false;
    char byte = 0;
    return recv(client, &byte, 1, 0) <= 0;
}

bool SendAll(int client, const std::string& text) {
    return send(client, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Everything until the server closes (or kGenerousMs pass).
std::string ReadToEnd(int client) {
    timeval limit{kGenerousMs / 1000, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = recv(client, buffer, sizeof buffer, 0)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

// Sends a request line, then a header line a second, until the server closes the connection
// without an answer (true) or 20 s have passed (false): the library's own idle limit never comes.
bool ClosedWhileTrickling(int client) {
    SendAll(client, "GET /page HTTP/1.1\r\n");
    for (int second = 0; second < 20; ++second) {
        pollfd watched{client, POLLIN, 0};
        if (poll(&watched, 1, 1000) == 1) return ClosedUnanswered(client);
        if (!SendAll(client, "X-A: b\r\n")) return true;
    }
    return false;
}

std::string Request(const std::string& path, const std::string& extra = "") {
    return "GET " + path + " HTTP/1.1\r\nHost: t\r\n" + extra + "Connection: close\r\n\r\n";
}

// The status code of a whole answer, 0 for none.
int StatusOf(const std::string& answer) {
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

class EndpointDefenceTest : public testing::Test {
protected:
    void TearDown() override {
        endpoint.reset();
        for (int client : clients) close(client);
    }

    // /healthz, /metrics and /page answer at once; /api/events streams `topic` from `hub`.
    void Start(HttpSettings settings = {}, std::chrono::seconds stallLimit = EventHub::kStallLimit) {
        settings.listen = "127.0.0.1:0";
        hub = std::make_shared<EventHub>(
            [this](const std::string&, std::uint64_t&) {
                return std::optional<TopicText>(TopicText{eventText + std::to_string(++renders), ""});
            },
            stallLimit);
        HttpRoutes routes;
        for (const char* path : {"/healthz", "/metrics", "/page"})
            routes.Exact(path, [](const HttpRequest&) { return HttpAnswer{200, "text/plain", "ok\n"}; });
        routes.Exact("/api/events",
                     [hub = hub](const HttpRequest& request) { return hub->Open("t", request.address); });
        routes.OnStop([hub = hub] { hub->Stop(); });
        std::string error;
        endpoint = HttpEndpoint::Start(settings, std::move(routes), error);
        ASSERT_NE(endpoint, nullptr) << error;
    }

    int Open(int host, int receiveBuffer = 0) {
        const int client = ConnectFrom(host, endpoint->Port(), receiveBuffer);
        EXPECT_GE(client, 0);
        clients.push_back(client);
        return client;
    }

    // The status of one request from 127.0.0.`host` on a connection of its own.
    int Ask(const std::string& path, int host = 1, const std::string& extra = "") {
        const int client = Open(host);
        return SendAll(client, Request(path, extra)) ? StatusOf(ReadToEnd(client)) : 0;
    }

    // Attacker `index` connects from one of ten addresses, so no address reaches its own limit.
    int Attacker(int index) { return Open(2 + index % 10); }

    std::string eventText = "x";
    std::atomic<int> renders{0};
    std::shared_ptr<EventHub> hub;
    std::unique_ptr<HttpEndpoint> endpoint;
    std::vector<int> clients;
};

// The slow clients share the probes' own address, as an attacker on the monitoring host would.
TEST_F(EndpointDefenceTest, SlowClientsAndOpenStreamsLeaveHealthAndMetricsAnswering) {
    Start();
    for (int i = 0; i < 70; ++i) SendAll(Open(1), "GET /page HTTP/1.1\r\nHost:");
    for (int i = 0; i < 100; ++i) SendAll(Attacker(i), Request("/api/events"));
    ASSERT_TRUE(WaitUntil([&] { return hub->StreamCount() == 100; })) << hub->StreamCount();

    for (int probe = 0; probe < 10; ++probe) {
        EXPECT_EQ(Ask("/healthz"), 200);
        EXPECT_EQ(Ask("/metrics"), 200);
    }
}

TEST_F(EndpointDefenceTest, StreamsPastAnAddressesShareOrThePoolAreRefusedAtOnce) {
    Start();
    for (std::size_t i = 0; i < EventHub::kMaxStreamsPerAddress; ++i) SendAll(Open(12), Request("/api/events"));
    ASSERT_TRUE(WaitUntil([&] { return hub->StreamCount() == EventHub::kMaxStreamsPerAddress; }));
    EXPECT_EQ(Ask("/api/events", 12), 503);
    for (std::size_t i = hub->StreamCount(); i < EventHub::kMaxStreams; ++i)
        SendAll(Attacker(static_cast<int>(i)), Request("/api/events"));
    ASSERT_TRUE(WaitUntil([&] { return hub->StreamCount() == EventHub::kMaxStreams; })) << hub->StreamCount();
    EXPECT_EQ(Ask("/api/events", 13), 503);
    EXPECT_EQ(Ask("/healthz"), 200);
}

// Slow heads beyond their bound push the oldest out; one trickled past its time is cut.
TEST_F(EndpointDefenceTest, WaitingHeadsAreBoundedAndTimed) {
    Start();
    const int oldest = Attacker(0);
    SendAll(oldest, "GET /page HTTP/1.1\r\n");
    for (unsigned i = 1; i <= ConnectionGuard::kMaxSlowHeads; ++i) SendAll(Attacker(static_cast<int>(i)), "G");
    EXPECT_TRUE(ClosedUnanswered(oldest));
    EXPECT_TRUE(ClosedWhileTrickling(Attacker(1)));
    EXPECT_EQ(Ask("/healthz"), 200);
}

// Events of 256 KiB to a client with a small window that reads nothing: the hub drops the stream
// once nothing has been taken for the stall limit.
TEST_F(EndpointDefenceTest, StreamWhoseClientTakesNothingIsDropped) {
    eventText = std::string(256 * 1024, 'e');
    Start({}, std::chrono::seconds(1));
    SendAll(Open(2, 4096), Request("/api/events"));
    ASSERT_TRUE(WaitUntil([&] { return hub->StreamCount() == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return hub->StreamCount() == 0; }, std::chrono::milliseconds(kGenerousMs)));
}

// Five wrong passwords, then the next answer to that address is held back while another address
// is served at once; the held one comes in its time.
TEST_F(EndpointDefenceTest, WrongPasswordsSlowThatAddressDownAndNoOneElse) {
    const CommandResult hash = RunCommand("openssl passwd -6 -salt telvorn secret");
    ASSERT_EQ(hash.status, 0);
    HttpSettings settings;
    settings.user = "ops";
    settings.passwordHash = hash.output.substr(0, hash.output.find('\n'));
    Start(settings);
    const std::string wrong = "Authorization: Basic b3BzOndyb25n\r\n";      // ops:wrong
    const std::string right = "Authorization: Basic b3BzOnNlY3JldA==\r\n";  // ops:secret
    for (int i = 0; i < LoginThrottle::kFreeFailures; ++i) ASSERT_EQ(Ask("/healthz", 2, wrong), 401);

    const int held = Open(2);
    SendAll(held, Request("/healthz", wrong));
    ASSERT_TRUE(WaitUntil([&] { return endpoint->HeldAnswers() == 1; }));
    EXPECT_EQ(Ask("/healthz", 1, right), 200);
    EXPECT_EQ(StatusOf(ReadToEnd(held)), 401);
}

class TlsVersionTest : public EndpointDefenceTest {
protected:
    void SetUp() override {
        const CommandResult made =
            RunCommand("cd '" + directory.Path().string() +
                       "' && openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost"
                       " -keyout key.pem -out cert.pem 2>&1");
        ASSERT_EQ(made.status, 0) << made.output;
        HttpSettings settings;
        settings.certFile = (directory.Path() / "cert.pem").string();
        settings.keyFile = (directory.Path() / "key.pem").string();
        Start(settings);
    }

    // Whether openssl's client completes a handshake with these options; its security level 0
    // lets it offer what it would not by default, so a refusal is the endpoint's.
    bool Handshakes(const std::string& version, const std::string& ciphers = "ALL") {
        return RunCommand("openssl s_client -connect 127.0.0.1:" + std::to_string(endpoint->Port()) + " " + version +
                          " -cipher '" + ciphers + ":@SECLEVEL=0' < /dev/null > /dev/null 2>&1")
                   .status == 0;
    }

    TempDirectory directory;
};

TEST_F(TlsVersionTest, OnlyTls12And13WithForwardSecrecyAreAccepted) {
    EXPECT_TRUE(Handshakes("-tls1_3"));
    EXPECT_TRUE(Handshakes("-tls1_2"));
    EXPECT_FALSE(Handshakes("-tls1_1"));
    EXPECT_FALSE(Handshakes("-tls1"));
    EXPECT_FALSE(Handshakes("-tls1_2", "AES128-SHA"));
    EXPECT_FALSE(Handshakes("-tls1_2", "ECDHE-RSA-AES256-SHA"));
}

}  // namespace
