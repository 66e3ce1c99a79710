#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "server/Runnable.h"

class CThread;

// The CThread that the calling thread belongs to; null in threads not started by CThread::Start.
extern thread_local CThread* ThreadContextSlot;

// ThreadContextSlot, or ServerError "Call is not within a CThread context." when it is null.
CThread* CurrentThreadContext();

// One operating-system thread running one target. The thread is detached: the only way to wait for
// it is to set the stop flag and take runLock, which the thread holds while it runs its target.
//
// Start and the destructor are called by the owner; StopRequested is polled by the running target.
class CThread : public IRunnable {
public:
    // Throws ServerError "Self referencing not allowed." for a target that is the thread itself.
    explicit CThread(IRunnable* target);
    // Asks the target to stop and waits until the thread has left it.
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts the thread unless it is running. Throws ServerError
    // "Failed to call CreateThread(). Thread not started." when no thread can be created.
    void Start();
    void Run() override;

    void RequestStop() { stopRequested.store(1); }
    bool StopRequested() const { return stopRequested.load() != 0; }
    bool Running() const { return running.load() != 0; }

private:
    static void Routine(CThread* self);

    std::atomic<std::uint8_t> stopRequested{0};
    std::atomic<std::uint8_t> running{0};
    IRunnable* target;  // not owned
    std::recursive_mutex runLock;
};
