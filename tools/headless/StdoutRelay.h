#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

// Keeps a stalled standard output (a pipe nobody reads, a stopped terminal) from ever stalling the
// server. Start() makes descriptor 1 a pipe that a reader thread drains into a bounded queue of
// lines; a writer thread copies the queue to the real standard output and alone may block there.
// While the queue is full, whole lines are counted and dropped; the line after them is preceded
// by one line that says how many ("telvorn-headless: N lines dropped while standard output was
// blocked"), written once output flows again.
//
// Start and Stop are called by main only; everything else runs on the relay's own two threads.
class StdoutRelay {
public:
    // Queued output beyond this is dropped: about a minute of raw-data lines at full load.
    static constexpr std::size_t kMaxQueuedBytes = 1 << 20;

    StdoutRelay() = default;
    StdoutRelay(const StdoutRelay&) = delete;
    StdoutRelay& operator=(const StdoutRelay&) = delete;
    ~StdoutRelay();  // only after Stop has returned true

    // Returns false (and leaves standard output as it was) if the pipe cannot be made.
    bool Start();
    // Flushes stdio, ends the pipe and waits up to `limit` for the queued lines to be written.
    // Returns false if the real output did not take them in time.
    bool Stop(std::chrono::milliseconds limit);
    // Lines dropped since Start, for monitoring; safe from any thread.
    std::uint64_t DroppedLines() const { return droppedTotal.load(std::memory_order_relaxed); }

private:
    void ReadLines(int pipeRead);
    void WriteLines();
    void Queue(std::string line);
    void QueueDroppedNote();  // under lock; resets the count

    int realOutput = -1;
    std::mutex lock;  // guards everything below
    std::condition_variable changed;
    std::deque<std::string> queued;
    std::size_t queuedBytes = 0;
    std::uint64_t dropped = 0;  // lines dropped since the last one queued
    std::atomic<std::uint64_t> droppedTotal{0};
    bool inputEnded = false;
    bool outputGone = false;  // a write to the real output failed
    bool writerDone = false;
    std::thread reader;
    std::thread writer;
};
