#include "storage/WriteLane.h"

bool WriteLane::Enter(std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    while (taken_) {
        const auto limit = since_ + patience;
        if (std::chrono::steady_clock::now() >= limit) return false;
        free_.wait_until(lock, limit);
    }
    taken_ = true;
    since_ = std::chrono::steady_clock::now();
    return true;
}

void WriteLane::Leave() {
    {
        std::lock_guard lock(mutex_);
        taken_ = false;
    }
    free_.notify_one();
}
