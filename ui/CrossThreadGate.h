#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Lets worker threads call into a window on the user-interface thread until the window closes the
// gate. Closing waits, while still running the user-interface thread's events, for every call that
// got in, so no worker is left blocked on a window that is about to go and none enters afterwards.
//
// The calls travel through the gate's own queue under its own lock, and a posted event only wakes
// the user-interface thread to run them: everything a worker wrote before its call happens before
// the call, and everything the call wrote happens before CallAndWait returns, in terms the thread
// sanitizer sees too (Qt's own hand-over runs on locks it cannot see).
//
// Construct on the user-interface thread, which the calls then run on. Enter/Leave and the Call
// helpers: any thread. Close: the user-interface thread only.
class CrossThreadGate {
public:
    CrossThreadGate();
    ~CrossThreadGate();
    CrossThreadGate(const CrossThreadGate&) = delete;
    CrossThreadGate& operator=(const CrossThreadGate&) = delete;

    bool Enter() {
        inFlight.fetch_add(1);
        if (closed.load()) {
            inFlight.fetch_sub(1);
            return false;
        }
        return true;
    }
    void Leave() { inFlight.fetch_sub(1); }

    void Close();
    bool IsClosed() const { return closed.load(); }

    // Runs `call` on the user-interface thread and returns once it ran there: directly when called on
    // that thread. False when the gate is closed and nothing ran.
    template <typename Call>
    bool CallAndWait(Call&& call) {
        if (OnOwnThread()) {
            call();
            return true;
        }
        if (!Enter()) {
            return false;
        }
        bool done = false;
        Enqueue([&] {
            call();
            std::lock_guard guard(lock);
            done = true;
            ran.notify_all();
        });
        std::unique_lock guard(lock);
        ran.wait(guard, [&] { return done; });
        guard.unlock();
        Leave();
        return true;
    }

    // Queues `call` for the user-interface thread and returns at once. False when the gate is closed.
    template <typename Call>
    bool Post(Call&& call) {
        if (!Enter()) {
            return false;
        }
        Enqueue(std::function<void()>(std::forward<Call>(call)));
        Leave();
        return true;
    }

private:
    class Receiver;

    bool OnOwnThread() const;
    // Appends the call and wakes the user-interface thread.
    void Enqueue(std::function<void()> call);
    // User-interface thread: runs the queued calls in order, without the lock held.
    void RunPending();

    std::atomic<bool> closed{false};
    std::atomic<int> inFlight{0};
    // Guards `pending`, and the done flag of each CallAndWait.
    std::mutex lock;
    std::condition_variable ran;
    std::deque<std::function<void()>> pending;
    std::unique_ptr<Receiver> receiver;
};
