#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <thread>

// Lets worker threads call into a window on the user-interface thread until the window closes the
// gate. Closing waits, while still running the user-interface thread's events, for every call that
// got in, so no worker is left blocked on a window that is about to go and none enters afterwards.
//
// Enter/Leave and the Call helpers: any thread. Close: the user-interface thread only.
class CrossThreadGate {
public:
    bool Enter() {
        inFlight.fetch_add(1);
        if (closed.load()) {
            inFlight.fetch_sub(1);
            return false;
        }
        return true;
    }
    void Leave() { inFlight.fetch_sub(1); }

    void Close() {
        closed.store(true);
        while (inFlight.load() > 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::yield();
        }
    }
    bool IsClosed() const { return closed.load(); }

    // Runs `call` on the context's thread and returns once it ran: directly on that thread, as a
    // blocking queued call from any other. False when the gate is closed and nothing ran.
    template <typename Call>
    bool CallAndWait(QObject* context, Call&& call) {
        if (QThread::currentThread() == context->thread()) {
            call();
            return true;
        }
        if (!Enter()) {
            return false;
        }
        QMetaObject::invokeMethod(context, std::forward<Call>(call), Qt::BlockingQueuedConnection);
        Leave();
        return true;
    }

    // Queues `call` for the context's thread and returns at once. False when the gate is closed.
    template <typename Call>
    bool Post(QObject* context, Call&& call) {
        if (!Enter()) {
            return false;
        }
        QMetaObject::invokeMethod(context, std::forward<Call>(call), Qt::QueuedConnection);
        Leave();
        return true;
    }

private:
    std::atomic<bool> closed{false};
    std::atomic<int> inFlight{0};
};
