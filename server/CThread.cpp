#include "server/CThread.h"

#include <system_error>
#include <thread>

#include "server/ServerError.h"

thread_local CThread* ThreadContextSlot = nullptr;

CThread* CurrentThreadContext() {
    CThread* context = ThreadContextSlot;
    if (context == nullptr) {
        throw ServerError("Call is not within a CThread context.");
    }
    return context;
}

CThread::CThread(IRunnable* target) : target(target) {
    if (target == this) {
        throw ServerError("Self referencing not allowed.");
    }
}

CThread::~CThread() {
    stopRequested.store(1);
    // A thread just created may not have reached runLock yet; it keeps `running` at 1 until it has
    // passed through, so wait for that rather than for the lock alone.
    for (;;) {
        {
            std::lock_guard guard(runLock);
            if (running.load() == 0) {
                return;
            }
        }
        std::this_thread::yield();
    }
}

void CThread::Start() {
    if (!runLock.try_lock()) {
        return;
    }
    if (running.load() == 0) {
        running.store(1);
        stopRequested.store(0);
        try {
            std::thread(Routine, this).detach();
        } catch (const std::system_error&) {
            running.store(0);
            runLock.unlock();
            throw ServerError("Failed to call CreateThread(). Thread not started.");
        }
    }
    runLock.unlock();
}

void CThread::Run() {
    if (target != nullptr) {
        target->Run();
    }
}

void CThread::Routine(CThread* self) {
    std::lock_guard guard(self->runLock);
    ThreadContextSlot = self;
    try {
        self->Run();
    } catch (...) {
        // A target that fails ends only its own thread; the process and the other threads go on.
    }
    ThreadContextSlot = nullptr;
    self->running.store(0);
}
