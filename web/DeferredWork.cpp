#include "web/DeferredWork.h"

DeferredWork::DeferredWork() : worker([this] { Run(); }) {}

DeferredWork::~DeferredWork() { Stop(); }

void DeferredWork::Submit(Job job) {
    {
        std::lock_guard guard(lock);
        if (!stopping) {
            jobs.push_back(std::move(job));
            wake.notify_one();
            return;
        }
    }
    job(false);
}

void DeferredWork::Stop() {
    std::deque<Job> left;
    {
        std::lock_guard guard(lock);
        stopping = true;
        left.swap(jobs);
        wake.notify_one();
    }
    if (worker.joinable()) worker.join();
    for (Job& job : left) job(false);
}

void DeferredWork::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock guard(lock);
            wake.wait(guard, [this] { return stopping || !jobs.empty(); });
            if (stopping) return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        job(true);
    }
}
