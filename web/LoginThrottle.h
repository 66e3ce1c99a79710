#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

// Wrong passwords counted by client address, so that guessing slows down. After kFreeFailures of
// them every answer to the address waits (right password or wrong: the wait tells nothing), one
// second at first and twice as long for each further wrong password, up to kLongestDelay. An
// address forgets its count at its next right password, or kForgetAfter after its last wrong one.
//
// Threads: the endpoint's thread only.
class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kFreeFailures = 5;
    static constexpr auto kLongestDelay = std::chrono::seconds(16);
    static constexpr auto kForgetAfter = std::chrono::minutes(15);
    // Beyond this many addresses the one whose last wrong password is oldest is forgotten.
    static constexpr std::size_t kMaxAddresses = 4096;

    // How long an answer to `address` waits now; zero for an address in good standing.
    Clock::duration Delay(const std::string& address, Clock::time_point now);
    void Failed(const std::string& address, Clock::time_point now);
    void Succeeded(const std::string& address) { failures.erase(address); }

private:
    struct Failures {
        int count = 0;
        Clock::time_point last;
    };
    std::map<std::string, Failures> failures;
};
