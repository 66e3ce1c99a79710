#include "web/LoginThrottle.h"

#include <algorithm>

LoginThrottle::Clock::duration LoginThrottle::Delay(const std::string& address, Clock::time_point now) {
    const auto found = failures.find(address);
    if (found == failures.end()) return Clock::duration::zero();
    if (now - found->second.last >= kForgetAfter) {
        failures.erase(found);
        return Clock::duration::zero();
    }
    const int beyond = found->second.count - kFreeFailures;
    if (beyond < 0) return Clock::duration::zero();
    // 1, 2, 4, 8, 16 seconds: the shift stops at the longest delay, long before it could overflow.
    const std::chrono::seconds delay(1LL << std::min(beyond, 4));
    return std::min<Clock::duration>(delay, kLongestDelay);
}

void LoginThrottle::Failed(const std::string& address, Clock::time_point now) {
    if (failures.size() >= kMaxAddresses && failures.count(address) == 0) {
        const auto oldest = std::min_element(failures.begin(), failures.end(), [](const auto& a, const auto& b) {
            return a.second.last < b.second.last;
        });
        failures.erase(oldest);
    }
    Failures& entry = failures[address];
    if (now - entry.last >= kForgetAfter) entry.count = 0;
    ++entry.count;
    entry.last = now;
}
