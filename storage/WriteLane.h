#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// The turn of direct history writes, taken before DatabaseMutex: unlike a plain mutex, a writer
// waiting here knows how long the write ahead of it has been under way, and can stop waiting.
//
// Threads: any.
class WriteLane {
public:
    // Takes the lane; false, without it, once its holder has held it longer than `patience`.
    bool Enter(std::chrono::milliseconds patience);
    void Leave();

private:
    std::mutex mutex_;
    std::condition_variable free_;
    bool taken_ = false;                           // guarded by mutex_
    std::chrono::steady_clock::time_point since_;  // guarded by mutex_: when the holder took the lane
};
