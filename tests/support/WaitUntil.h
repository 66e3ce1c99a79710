#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Polls a condition until it holds or a generous limit passes; the limit only bounds a failing
// test, it never decides a passing one.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
