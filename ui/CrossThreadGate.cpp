#include "ui/CrossThreadGate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <thread>

namespace {
// Registered once for the whole program; every gate's wake-up event has this type.
const QEvent::Type kRunPendingEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}  // namespace

// Lives on the user-interface thread and runs the gate's queue when a wake-up event reaches it. The
// event itself is never read here: Qt hands it over under locks the thread sanitizer cannot see.
class CrossThreadGate::Receiver final : public QObject {
public:
    explicit Receiver(CrossThreadGate& gate) : gate(gate) {}

protected:
    void customEvent(QEvent*) override { gate.RunPending(); }

private:
    CrossThreadGate& gate;
};

CrossThreadGate::CrossThreadGate() : receiver(std::make_unique<Receiver>(*this)) {}

// Removes the wake-up events still posted; calls queued and not yet run are dropped with them.
CrossThreadGate::~CrossThreadGate() = default;

void CrossThreadGate::Close() {
    closed.store(true);
    while (inFlight.load() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::yield();
    }
}

bool CrossThreadGate::OnOwnThread() const { return QThread::currentThread() == receiver->thread(); }

void CrossThreadGate::Enqueue(std::function<void()> call) {
    {
        std::lock_guard guard(lock);
        pending.push_back(std::move(call));
    }
    QCoreApplication::postEvent(receiver.get(), new QEvent(kRunPendingEvent));
}

void CrossThreadGate::RunPending() {
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard guard(lock);
            if (pending.empty()) {
                return;
            }
            next = std::move(pending.front());
            pending.pop_front();
        }
        next();
    }
}
