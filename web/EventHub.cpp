#include "web/EventHub.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// libmicrohttpd asks a stream for at most this much at a time.
constexpr std::size_t kStreamBlock = 16 * 1024;
// A stream's socket buffers no more than this (the system doubles it), so a client that stops
// reading is noticed after some seconds of events rather than megabytes of them.
constexpr int kStreamSendBuffer = 16 * 1024;

std::string EventText(const std::string& topic, const std::string& data) {
    return "event: " + topic.substr(0, topic.find(':')) + "\ndata: " + data + "\n\n";
}

}  // namespace

struct EventHub::Stream {
    EventHub* hub = nullptr;
    MHD_Connection* connection = nullptr;
    std::string topic;
    std::string address;
    std::uint64_t sentVersion = 0;
    std::string pending;  // the event being written, from `offset` on
    std::size_t offset = 0;
    bool suspended = false;
    Clock::time_point lastEvent;
    Clock::time_point lastWrite;
    // Since when the stream has had something to send that the library has not asked for.
    Clock::time_point waitingSince;
    // The hub's own duplicate of the connection's socket, to shut a stalled stream down.
    int descriptor = -1;
    bool stalled = false;
};

EventHub::EventHub(TopicRenderer renderer, Clock::duration stallLimit, Now now)
    : renderer(std::move(renderer)), stallLimit(stallLimit), now(std::move(now)) {
    if (this->now) return;
    this->now = Clock::now;
    ticker = std::thread([this] { RunTicker(); });
}

EventHub::~EventHub() { Stop(); }

HttpAnswer EventHub::Open(const std::string& topic, const std::string& address) {
    bool fresh = false;
    {
        std::lock_guard guard(lock);
        if (stopping) return {503, "text/plain; charset=utf-8", "the server is stopping\n"};
        const auto fromAddress = std::count_if(streams.begin(), streams.end(),
                                               [&](const Stream* stream) { return stream->address == address; });
        if (streams.size() >= kMaxStreams || static_cast<std::size_t>(fromAddress) >= kMaxStreamsPerAddress) {
            HttpAnswer full{503, "text/plain; charset=utf-8", "too many event streams are open; try again later\n"};
            full.headers.push_back({"Retry-After", "10"});
            full.headers.push_back({"Connection", "close"});
            return full;
        }
        const auto found = topics.find(topic);
        fresh = found != topics.end() && found->second.version != 0 && now() - found->second.rendered < kRenderPeriod;
    }
    // Pages opened together share one render.
    if (!fresh) Render(topic, true);
    std::lock_guard guard(lock);
    const auto found = topics.find(topic);
    if (found == topics.end() || found->second.version == 0) {
        if (found != topics.end() && found->second.streams == 0) topics.erase(found);
        return {404, "text/plain; charset=utf-8", "no such topic\n"};
    }
    ++found->second.streams;
    auto* stream = new Stream;
    stream->hub = this;
    stream->topic = topic;
    stream->address = address;
    stream->waitingSince = now();
    stream->pending = "retry: " + std::to_string(kRetryMs) + "\n\n";
    streams.push_back(stream);
    wake.notify_one();
    HttpAnswer answer;
    answer.contentType = "text/event-stream; charset=utf-8";
    answer.stream = [this, stream](MHD_Connection* connection) {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        const int descriptor = info != nullptr ? fcntl(info->connect_fd, F_DUPFD_CLOEXEC, 0) : -1;
        if (descriptor >= 0)
            setsockopt(descriptor, SOL_SOCKET, SO_SNDBUF, &kStreamSendBuffer, sizeof kStreamSendBuffer);
        {
            std::lock_guard guard(lock);
            stream->descriptor = descriptor;
        }
        stream->connection = connection;
        MHD_Response* response =
            MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kStreamBlock, &EventHub::Read, stream, &EventHub::Free);
        if (response == nullptr) Free(stream);
        return response;
    };
    return answer;
}

void EventHub::Stop() {
    {
        std::lock_guard guard(lock);
        stopping = true;
        for (Stream* stream : streams) {
            if (!stream->suspended) continue;
            stream->suspended = false;
            MHD_resume_connection(stream->connection);
        }
        wake.notify_one();
    }
    if (ticker.joinable()) ticker.join();
}

std::size_t EventHub::StreamCount() {
    std::lock_guard guard(lock);
    return streams.size();
}

ssize_t EventHub::Read(void* cls, std::uint64_t, char* buffer, std::size_t size) {
    auto& stream = *static_cast<Stream*>(cls);
    EventHub& hub = *stream.hub;
    std::lock_guard guard(hub.lock);
    if (hub.stopping) return MHD_CONTENT_READER_END_OF_STREAM;
    if (stream.stalled) return MHD_CONTENT_READER_END_WITH_ERROR;
    const Clock::time_point time = hub.now();
    stream.waitingSince = time;
    if (stream.offset == stream.pending.size() && !hub.TakeNext(stream, time)) {
        stream.suspended = true;
        MHD_suspend_connection(stream.connection);
        return 0;
    }
    const std::size_t count = std::min(size, stream.pending.size() - stream.offset);
    std::memcpy(buffer, stream.pending.data() + stream.offset, count);
    stream.offset += count;
    stream.lastWrite = time;
    return static_cast<ssize_t>(count);
}

// Called by the library once the connection has ended.
void EventHub::Free(void* cls) {
    auto* stream = static_cast<Stream*>(cls);
    EventHub& hub = *stream->hub;
    {
        std::lock_guard guard(hub.lock);
        hub.streams.remove(stream);
        const auto topic = hub.topics.find(stream->topic);
        if (topic != hub.topics.end() && --topic->second.streams == 0) hub.topics.erase(topic);
    }
    if (stream->descriptor >= 0) close(stream->descriptor);
    delete stream;
}

bool EventHub::TakeNext(Stream& stream, Clock::time_point time) {
    const Topic& topic = topics.at(stream.topic);
    std::string data;
    if (topic.version != stream.sentVersion && time - stream.lastEvent >= kEventSpacing) {
        const bool follows =
            stream.sentVersion != 0 && stream.sentVersion + 1 == topic.version && !topic.text.delta.empty();
        stream.pending = EventText(stream.topic, follows ? topic.text.delta : topic.text.full);
        stream.sentVersion = topic.version;
        stream.lastEvent = time;
    } else if (time - stream.lastWrite >= kKeepAlive) {
        stream.pending = ":\n\n";
    } else {
        return false;
    }
    stream.offset = 0;
    return true;
}

void EventHub::Render(const std::string& key, bool create) {
    std::uint64_t cursor = 0;
    {
        std::lock_guard guard(lock);
        const auto found = topics.find(key);
        if (found != topics.end()) cursor = found->second.cursor;
        if (found == topics.end() && !create) return;
    }
    const std::uint64_t started = cursor;
    const std::optional<TopicText> text = renderer(key, cursor);
    if (!text) return;
    std::lock_guard guard(lock);
    if (!create && topics.count(key) == 0) return;  // its last stream ended meanwhile
    Topic& topic = topics[key];
    if (topic.cursor != started) return;  // another render moved the topic on meanwhile
    topic.cursor = cursor;
    topic.rendered = now();
    if (topic.version != 0 && text->full == topic.text.full) return;
    topic.text = *text;
    ++topic.version;
}

void EventHub::Tick() {
    std::vector<std::string> due;
    {
        std::lock_guard guard(lock);
        const Clock::time_point time = now();
        for (const auto& [key, topic] : topics) {
            if (topic.streams > 0 && time - topic.rendered >= kRenderPeriod) due.push_back(key);
        }
    }
    for (const std::string& key : due) Render(key, false);
    std::lock_guard guard(lock);
    const Clock::time_point time = now();
    for (Stream* stream : streams) {
        if (!stream->suspended) continue;
        const Topic& topic = topics.at(stream->topic);
        const bool event = topic.version != stream->sentVersion && time - stream->lastEvent >= kEventSpacing;
        if (!event && time - stream->lastWrite < kKeepAlive) continue;
        stream->suspended = false;
        stream->waitingSince = time;
        MHD_resume_connection(stream->connection);
    }
    ShutDownStalled(time);
}

// The library notices the shutdown and ends the connection, which frees the stream. Call under lock.
void EventHub::ShutDownStalled(Clock::time_point time) {
    for (Stream* stream : streams) {
        if (stream->suspended || stream->stalled || time - stream->waitingSince < stallLimit) continue;
        stream->stalled = true;
        if (stream->descriptor >= 0) shutdown(stream->descriptor, SHUT_RDWR);
    }
}

EventHub::Holdings EventHub::Held() const {
    std::lock_guard guard(lock);
    Holdings held;
    held.streams = streams.size();
    held.suspended = static_cast<std::size_t>(
        std::count_if(streams.begin(), streams.end(), [](const Stream* stream) { return stream->suspended; }));
    held.topics = topics.size();
    return held;
}

void EventHub::RunTicker() {
    std::unique_lock guard(lock);
    while (!stopping) {
        // With no stream open the ticker sleeps until one opens.
        if (streams.empty()) {
            wake.wait(guard, [this] { return stopping || !streams.empty(); });
            continue;
        }
        wake.wait_for(guard, kTickPeriod, [this] { return stopping; });
        if (stopping) break;
        guard.unlock();
        Tick();
        guard.lock();
    }
}
