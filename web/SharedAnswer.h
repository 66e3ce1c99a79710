#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "web/HttpRoutes.h"

// One answer built for every client that asks within kMaxAge of it, its body shared, not copied: rebuilding /metrics or
// /api/rtus for 256 RTUs costs some 0.4 ms, so ten clients asking ten times a second would
// otherwise cost the server a tenth of a core. It is built again, at once, when `fingerprint`
// (something cheap, such as the registry's unit ids) no longer gives what it gave then.
//
// Threads: Get from any thread; a caller that finds the answer stale builds it while the others
// wait for it.
class SharedAnswer {
public:
    static constexpr auto kMaxAge = std::chrono::milliseconds(1000);

    explicit SharedAnswer(std::function<HttpAnswer()> build, std::function<std::uint64_t()> fingerprint = {})
        : build(std::move(build)), fingerprint(std::move(fingerprint)) {}

    HttpAnswer Get() {
        const std::uint64_t print = fingerprint ? fingerprint() : 0;
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard guard(lock);
        if (!built || now - builtAt >= kMaxAge || print != builtPrint) {
            answer = build();
            answer.sharedBody = std::make_shared<const std::string>(std::move(answer.body));
            answer.body.clear();
            builtAt = now;
            builtPrint = print;
            built = true;
        }
        return answer;
    }

private:
    std::function<HttpAnswer()> build;
    std::function<std::uint64_t()> fingerprint;
    std::mutex lock;  // guards the rest
    HttpAnswer answer;
    std::chrono::steady_clock::time_point builtAt;
    std::uint64_t builtPrint = 0;
    bool built = false;
};
