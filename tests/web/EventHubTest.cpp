// The console's event streams through the real endpoint on a loopback port, with the hub's clock
// moved by hand: what a browser receives depends only on the versions and the clock, never on
// how fast the machine is.
#include "web/EventHub.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "tests/support/WaitUntil.h"
#include "web/HttpEndpoint.h"

namespace {

using namespace std::chrono_literals;

// One browser's stream, read as it arrives: the answer's head first, then one event at a time.
class EventClient {
public:
    EventClient(std::uint16_t port, const std::string& topic) : socket(::socket(AF_INET, SOCK_STREAM, 0)) {
        // Only a failing test ever waits this long.
        const timeval limit{30, 0};
        setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        // HTTP/1.0, so that the stream comes without chunk framing.
        const std::string request = "GET /api/events?topic=" + topic + " HTTP/1.0\r\n\r\n";
        send(socket, request.data(), request.size(), MSG_NOSIGNAL);
    }
    ~EventClient() { Vanish(); }

    // The text up to and including `end`; whatever arrived, when the stream ends first.
    std::string Next(const std::string& end = "\n\n") {
        std::size_t at;
        char block[4096];
        while ((at = received.find(end)) == std::string::npos) {
            const ssize_t count = recv(socket, block, sizeof block, 0);
            if (count <= 0) return std::exchange(received, {});
            received.append(block, static_cast<std::size_t>(count));
        }
        std::string text = received.substr(0, at + end.size());
        received.erase(0, at + end.size());
        return text;
    }

    // The status line of the answer; the stream's first line (the reconnect delay) is read with it.
    std::string Open() {
        const std::string head = Next("\r\n\r\n");
        if (head.find(" 200 ") == std::string::npos) return head.substr(0, head.find("\r\n")) + " " + Next();
        EXPECT_EQ(Next(), "retry: " + std::to_string(EventHub::kRetryMs) + "\n\n");
        return head.substr(0, head.find("\r\n"));
    }

    // Gone without a word, as a browser whose machine dropped off the network.
    void Vanish() {
        if (socket < 0) return;
        const linger reset{1, 0};
        setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        close(socket);
        socket = -1;
    }

private:
    int socket;
    std::string received;
};

std::string Event(const std::string& name, const std::string& data) {
    return "event: " + name + "\ndata: " + data + "\n\n";
}

class EventHubTest : public ::testing::Test {
protected:
    void SetUp() override {
        hub = std::make_shared<EventHub>(
            [this](const std::string& topic, std::uint64_t& cursor) { return Render(topic, cursor); },
            EventHub::kStallLimit, [this] { return start + std::chrono::milliseconds(elapsedMs.load()); });
        HttpRoutes routes;
        routes.Exact("/api/events", [hub = hub](const HttpRequest& request) {
            return hub->Open(request.Argument("topic"), request.address);
        });
        routes.OnStop([hub = hub] { hub->Stop(); });
        HttpSettings settings;
        settings.listen = "127.0.0.1:0";
        std::string error;
        endpoint = HttpEndpoint::Start(settings, std::move(routes), error);
        ASSERT_NE(endpoint, nullptr) << error;
    }

    // "count" is one number; "raw" is the lines so far, in full or those added since the cursor.
    std::optional<TopicText> Render(const std::string& topic, std::uint64_t& cursor) {
        ++renders;
        std::lock_guard guard(sourceLock);
        if (topic == "count") return TopicText{std::to_string(count), ""};
        if (topic != "raw") return std::nullopt;
        TopicText text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            text.full += lines[i];
            if (i >= cursor) text.delta += lines[i];
        }
        cursor = lines.size();
        return text;
    }

    void Pass(EventHub::Clock::duration time) {
        elapsedMs += std::chrono::duration_cast<std::chrono::milliseconds>(time).count();
    }
    bool WaitSuspended(std::size_t streams) {
        return WaitUntil([&] { return hub->Held().suspended == streams; });
    }
    std::unique_ptr<EventClient> Client(const std::string& topic) {
        return std::make_unique<EventClient>(endpoint->Port(), topic);
    }

    const EventHub::Clock::time_point start = EventHub::Clock::now();
    std::atomic<std::int64_t> elapsedMs{0};
    std::atomic<int> renders{0};
    std::mutex sourceLock;  // guards count and lines: the renderer runs on the endpoint's thread
    int count = 1;
    std::vector<std::string> lines{"a;"};
    std::shared_ptr<EventHub> hub;
    std::unique_ptr<HttpEndpoint> endpoint;
};

TEST_F(EventHubTest, ASuspendedStreamIsResumedWithOnlyTheNewestOfASecondsChanges) {
    auto browser = Client("count");
    EXPECT_EQ(browser->Open(), "HTTP/1.1 200 OK");
    EXPECT_EQ(browser->Next(), Event("count", "1"));
    ASSERT_TRUE(WaitSuspended(1));

    for (int value = 2; value <= 5; ++value) {
        std::lock_guard guard(sourceLock);
        count = value;
    }
    hub->Tick();
    EXPECT_EQ(renders, 1) << "rendered again within the second";
    Pass(EventHub::kEventSpacing);
    hub->Tick();
    EXPECT_EQ(browser->Next(), Event("count", "5"));

    // An unchanged render sends nothing: the next thing on the stream is the keep-alive.
    Pass(EventHub::kRenderPeriod);
    hub->Tick();
    Pass(EventHub::kKeepAlive);
    hub->Tick();
    EXPECT_EQ(browser->Next(), ":\n\n");
}

TEST_F(EventHubTest, AFollowingStreamGetsWhatIsNewAndAReconnectedOneEverything) {
    auto browser = Client("raw");
    ASSERT_EQ(browser->Open(), "HTTP/1.1 200 OK");
    EXPECT_EQ(browser->Next(), Event("raw", "a;"));
    {
        std::lock_guard guard(sourceLock);
        lines.push_back("b;");
    }
    Pass(EventHub::kRenderPeriod);
    hub->Tick();
    EXPECT_EQ(browser->Next(), Event("raw", "b;"));

    browser->Vanish();
    auto again = Client("raw");
    ASSERT_EQ(again->Open(), "HTTP/1.1 200 OK");
    EXPECT_EQ(again->Next(), Event("raw", "a;b;"));
}

TEST_F(EventHubTest, StreamsOfATopicShareItAndLeaveNothingOnceTheirBrowsersAreGone) {
    std::vector<std::unique_ptr<EventClient>> browsers;
    for (int i = 0; i < 3; ++i) {
        browsers.push_back(Client("count"));
        ASSERT_EQ(browsers.back()->Open(), "HTTP/1.1 200 OK");
        EXPECT_EQ(browsers.back()->Next(), Event("count", "1"));
    }
    EXPECT_EQ(Client("nothing")->Open(), "HTTP/1.1 404 Not Found no such topic\n");
    ASSERT_TRUE(WaitSuspended(3));
    EXPECT_EQ(hub->Held().topics, 1u);
    EXPECT_EQ(renders, 2) << "one render for the three streams, one for the unknown topic";

    for (auto& browser : browsers) browser->Vanish();
    // A suspended connection notices no hang-up; the next keep-alive it writes does.
    EXPECT_TRUE(WaitUntil([&] {
        Pass(EventHub::kKeepAlive);
        hub->Tick();
        return hub->Held().streams == 0;
    }));
    EXPECT_EQ(hub->Held().topics, 0u);
}

}  // namespace
