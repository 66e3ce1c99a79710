#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One worker thread for the endpoint's slow answers (history queries), one at a time in the order
// submitted: they read through the console's one connection, and one thread however many browsers ask.
//
// Threads: Submit from any thread; Stop and the destructor on the owner's thread.
class DeferredWork {
public:
    // A job is called once: with true on the worker, or with false when the work stops before its
    // turn (it must still finish what it started, e.g. let its connection go).
    using Job = std::function<void(bool run)>;

    DeferredWork();
    ~DeferredWork();
    DeferredWork(const DeferredWork&) = delete;
    DeferredWork& operator=(const DeferredWork&) = delete;

    // Queues the job; once stopping, calls it at once with false.
    void Submit(Job job);
    // Lets the running job finish, calls every queued one with false and joins the thread.
    void Stop();

private:
    void Run();

    std::mutex lock;  // guards jobs and stopping
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopping = false;
    std::thread worker;
};
