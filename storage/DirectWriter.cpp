#include "storage/DirectWriter.h"

#include <algorithm>

#include "storage/RecordId.h"

// One write, shared by the worker that asked for it and the writing thread.
struct DirectWriter::Job {
    enum class State { Queued, Running, Done, Abandoned };

    HistoryReading reading;
    HistoryRowKind kind = HistoryRowKind::Channel;
    std::string localTime;
    std::function<bool()> divert;
    std::chrono::steady_clock::time_point queuedAt;
    // Guarded by the writer's mutex_:
    State state = State::Queued;
    std::int32_t rid = 0;
    RowOutcome outcome;
    std::condition_variable done;
};

DirectWriter::DirectWriter(const HistoryRowWriter& rows, std::chrono::milliseconds patience)
    : rows_(rows), patience_(patience), thread_([this] { Run(); }) {}

DirectWriter::~DirectWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    thread_.join();
}

DirectWriter::Outcome DirectWriter::Write(const HistoryReading& reading, HistoryRowKind kind,
                                          const std::string& localTime, std::function<bool()> divert) {
    auto job = std::make_shared<Job>();
    job->reading = reading;
    job->kind = kind;
    job->localTime = localTime;
    job->divert = std::move(divert);
    job->queuedAt = std::chrono::steady_clock::now();
    job->rid = NextRecordId();
    std::unique_lock lock(mutex_);
    queue_.push_back(job);
    work_.notify_one();
    while (job->state != Job::State::Done) {
        // The write under way (or, while none is, this one's wait) may take `patience`.
        const auto since = running_ ? std::max(runningSince_, job->queuedAt) : job->queuedAt;
        if (std::chrono::steady_clock::now() >= since + patience_) {
            if (job->state == Job::State::Queued) {
                queue_.erase(std::find(queue_.begin(), queue_.end(), job));
                return {Outcome::State::NotStarted, {}, 0};
            }
            job->state = Job::State::Abandoned;
            return {Outcome::State::Abandoned, {}, job->rid};
        }
        job->done.wait_until(lock, since + patience_);
    }
    return {Outcome::State::Done, job->outcome, job->outcome.rid};
}

void DirectWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        const std::shared_ptr<Job> job = queue_.front();
        queue_.pop_front();
        job->state = Job::State::Running;
        running_ = true;
        runningSince_ = std::chrono::steady_clock::now();
        HistoryRowWriter::Options options;
        options.rid = job->rid;
        options.ridTriedBefore = false;
        options.divert = job->divert;
        // A write given up keeps the RID its worker was told: it must not store the row under another.
        options.beforeRetry = [this, job](std::int32_t rid) {
            std::lock_guard guard(mutex_);
            if (job->state == Job::State::Abandoned) return false;
            job->rid = rid;
            return true;
        };
        lock.unlock();
        const RowOutcome outcome = rows_.Insert(job->reading, job->kind, job->localTime, options);
        lock.lock();
        running_ = false;
        if (job->state == Job::State::Abandoned) continue;
        job->outcome = outcome;
        job->state = Job::State::Done;
        job->done.notify_one();
    }
}
