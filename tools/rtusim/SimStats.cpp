#include "tools/rtusim/SimStats.h"

#include <cstdio>

namespace rtusim {

namespace {

// Appends "key":value pairs to a JSON object under construction.
class JsonObject {
public:
    JsonObject& add(const char* key, std::uint64_t value) { return raw(key, std::to_string(value)); }
    JsonObject& add(const char* key, double value) {
        char text[64];
        std::snprintf(text, sizeof text, "%.3f", value);
        return raw(key, text);
    }
    JsonObject& add(const char* key, bool value) { return raw(key, value ? "true" : "false"); }
    JsonObject& raw(const char* key, const std::string& value) {
        text += (text.size() > 1 ? ",\"" : "\"") + std::string(key) + "\":" + value;
        return *this;
    }
    std::string done() const { return text + "}"; }

private:
    std::string text = "{";
};

double millis(std::uint64_t micros) { return static_cast<double>(micros) / 1000.0; }

std::string latencyJson(const LatencyHistogram& latency) {
    return JsonObject()
        .add("count", latency.count())
        .add("p50", millis(latency.percentile(0.50)))
        .add("p99", millis(latency.percentile(0.99)))
        .add("max", millis(latency.max()))
        .done();
}

std::string wrongJson(const SimStats& stats) {
    JsonObject wrong;
    for (std::size_t fault = 1; fault < stats.wrong.size(); ++fault)
        wrong.add(faultName(static_cast<ReplyFault>(fault)), stats.wrong[fault]);
    return wrong.done();
}

}  // namespace

void SimStats::countWrong(ReplyFault fault) {
    ++wrong[static_cast<std::size_t>(fault)];
    ++wrongReplies;
}

std::string summaryJson(const SimStats& s, unsigned connections, double elapsedSeconds) {
    return JsonObject()
        .add("ok", s.passed())
        .add("sent", s.sent)
        .add("frames", s.frames)
        .add("time_requests", s.timeRequests)
        .add("modbus_reads", s.modbusReads)
        .add("modbus_writes", s.modbusWrites)
        .add("readings", s.readings)
        .add("expected_replies", s.expectedReplies)
        .add("replies", s.replies)
        .add("wrong_replies", s.wrongReplies)
        .add("missing_replies", s.missingReplies)
        .raw("wrong", wrongJson(s))
        .add("values_checked", s.valuesChecked)
        .add("connections", static_cast<std::uint64_t>(connections))
        .add("connects", s.connects)
        .add("refused", s.refused)
        .add("dropped", s.dropped)
        .add("reopened", s.reopened)
        .add("resets", s.resets)
        .add("skipped", s.skipped)
        .add("bytes_sent", s.bytesSent)
        .add("bytes_received", s.bytesReceived)
        .add("elapsed_s", elapsedSeconds)
        .add("send_rate", elapsedSeconds > 0 ? static_cast<double>(s.sent) / elapsedSeconds : 0.0)
        .raw("latency_ms", latencyJson(s.latency))
        .done();
}

std::string progressJson(const SimStats& s, unsigned openConnections, double elapsedSeconds) {
    return JsonObject()
        .add("elapsed_s", elapsedSeconds)
        .add("open", static_cast<std::uint64_t>(openConnections))
        .add("sent", s.sent)
        .add("replies", s.replies)
        .add("wrong_replies", s.wrongReplies)
        .add("missing_replies", s.missingReplies)
        .add("dropped", s.dropped)
        .add("refused", s.refused)
        .raw("latency_ms", latencyJson(s.latency))
        .done();
}

}  // namespace rtusim
