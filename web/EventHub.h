#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "web/HttpRoutes.h"

// The data of one topic's event, as JSON on one line. `full` tells a newcomer everything; `delta`,
// when not empty, tells only what is new since the previous version (the raw-data lines).
struct TopicText {
    std::string full;
    std::string delta;
};

// Builds a topic's event data; none for a topic that does not exist. `cursor` is the topic's own
// state between renders (where the raw-data lines stopped), 0 at first.
using TopicRenderer = std::function<std::optional<TopicText>(const std::string& topic, std::uint64_t& cursor)>;

// Server-Sent Events for the console pages. Each topic ("fleet", "status", "raw", "rtu:12") is
// rendered once for all its streams, at most once per kRenderPeriod and only while a stream
// follows it; a stream gets at most one event per kEventSpacing, the newest version, or a
// keep-alive comment after kKeepAlive of silence (a suspended connection notices no disconnect,
// and a keep-alive finds a closed one). A stream holds no thread: between events its connection
// is suspended, and the hub's one ticker thread resumes it when there is something to send. At most
// kMaxStreams are open, kMaxStreamsPerAddress from one address (the next is refused with 503, and
// its connection closed), and one whose client has taken nothing for
// kStallLimit while there was something to send is shut down: what the client's own socket still
// takes in counts as taken, so a client that never reads is dropped once its buffers are full.
//
// Threads: Open on the endpoint's thread; the library calls the stream callbacks there too. Stop
// (and the destructor) on the owner's thread, before the endpoint stops. Tick, StreamCount and
// Held on any.
class EventHub {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;
    static constexpr auto kRenderPeriod = std::chrono::milliseconds(1000);
    static constexpr auto kEventSpacing = std::chrono::milliseconds(1000);
    static constexpr auto kKeepAlive = std::chrono::seconds(15);
    // How often the ticker looks for work while streams are open.
    static constexpr auto kTickPeriod = std::chrono::milliseconds(100);
    // A browser waits this long before it reconnects a stream that broke.
    static constexpr int kRetryMs = 2000;
    static constexpr std::size_t kMaxStreams = 128;
    // Half an address's share of the endpoint's connections: its other requests keep room.
    static constexpr std::size_t kMaxStreamsPerAddress = 32;
    static constexpr auto kStallLimit = std::chrono::seconds(30);

    // A hub given a clock of its own runs no ticker thread: its owner moves the clock and calls
    // Tick, so that what the streams receive never depends on how fast the machine is.
    explicit EventHub(TopicRenderer renderer, Clock::duration stallLimit = kStallLimit, Now now = nullptr);
    ~EventHub();
    EventHub(const EventHub&) = delete;
    EventHub& operator=(const EventHub&) = delete;

    // The answer to /api/events?topic=... from `address`: an event stream, or 404 for an unknown
    // topic, or 503 once stopping or with the streams' pool full.
    HttpAnswer Open(const std::string& topic, const std::string& address);
    // Ends every stream (resuming the suspended ones) and the ticker.
    void Stop();
    // The ticker's work: renders the topics that are due, resumes the streams that have an event
    // or a keep-alive to send, and shuts the stalled ones down.
    void Tick();
    std::size_t StreamCount();

    // What the hub holds: the open streams, those of them suspended, and the topics they follow.
    struct Holdings {
        std::size_t streams = 0;
        std::size_t suspended = 0;
        std::size_t topics = 0;
    };
    Holdings Held() const;

private:
    struct Topic {
        TopicText text;
        std::uint64_t version = 0;  // 0: never rendered
        std::uint64_t cursor = 0;
        std::size_t streams = 0;
        Clock::time_point rendered;
    };
    struct Stream;

    static ssize_t Read(void* stream, std::uint64_t position, char* buffer, std::size_t size);
    static void Free(void* stream);
    // Fills the stream's pending text from its topic; false when there is nothing to send yet.
    bool TakeNext(Stream& stream, Clock::time_point time);
    // Renders the topic outside the lock and stores the result unless another render came first;
    // `create` makes the topic when it is not there yet (a stream is about to follow it).
    void Render(const std::string& key, bool create);
    void ShutDownStalled(Clock::time_point time);
    void RunTicker();

    TopicRenderer renderer;
    const Clock::duration stallLimit;
    Now now;
    mutable std::mutex lock;  // guards everything below; taken before the library's own locks
    std::condition_variable wake;
    std::map<std::string, Topic> topics;
    std::list<Stream*> streams;
    bool stopping = false;
    std::thread ticker;
};
