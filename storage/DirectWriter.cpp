#include "storage/DirectWriter.h"

#include <algorithm>

#include "storage/RecordId.h"
#include "storage/TimeStamp.h"

namespace {

constexpr HistoryRowKind kRowKinds[] = {HistoryRowKind::Channel, HistoryRowKind::FullRcds};

}  // namespace

// One reading's write, shared by the worker that asked for it and the writing thread.
struct DirectWriter::Job {
    SpooledReading reading;
    std::function<bool()> divert;
    std::chrono::steady_clock::time_point queuedAt;
    // Guarded by the writer's mutex_:
    bool begun = false;
    bool finished = false;
    bool abandoned = false;
    Outcome outcome;
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

DirectWriter::Outcome DirectWriter::Write(const SpooledReading& reading, std::function<bool()> divert) {
    auto job = std::make_shared<Job>();
    job->reading = reading;
    job->divert = std::move(divert);
    job->queuedAt = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    queue_.push_back(job);
    work_.notify_one();
    while (!job->finished) {
        // The write under way (or, while none is, this job's wait) may take `patience`.
        const auto since = running_ ? std::max(runningSince_, job->queuedAt) : job->queuedAt;
        if (std::chrono::steady_clock::now() < since + patience_) {
            job->done.wait_until(lock, since + patience_);
            continue;
        }
        if (!job->begun) {
            queue_.erase(std::find(queue_.begin(), queue_.end(), job));
            return {};
        }
        job->abandoned = true;
        for (const HistoryRowKind kind : kRowKinds) {
            Row& row = job->outcome.Of(kind);
            if (row.state == Row::State::NotTried && !row.localTime.empty()) row.state = Row::State::Abandoned;
        }
        return job->outcome;
    }
    return job->outcome;
}

void DirectWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        const std::shared_ptr<Job> job = queue_.front();
        queue_.pop_front();
        job->begun = true;
        // A reading's rows share one wait: its worker waits `patience` for all of them together.
        running_ = true;
        runningSince_ = std::chrono::steady_clock::now();
        RunJob(*job, lock);
        running_ = false;
        job->finished = true;
        job->done.notify_one();
    }
}

// Called and returns with `lock` held; each statement runs without it.
void DirectWriter::RunJob(Job& job, std::unique_lock<std::mutex>& lock) {
    for (const HistoryRowKind kind : kRowKinds) {
        if (!job.reading.Row(kind).pending || job.abandoned) continue;
        Row& row = job.outcome.Of(kind);
        char localTime[kTimeStampSize];
        FormatNow(localTime);
        row.localTime = localTime;
        row.rid = NextRecordId();
        HistoryRowWriter::Options options;
        options.rid = row.rid;
        options.ridTriedBefore = false;
        options.divert = job.divert;
        // A write given up keeps the RID its worker was told: it must not store the row under another.
        options.beforeRetry = [this, &job, &row](std::int32_t rid) {
            std::lock_guard guard(mutex_);
            if (job.abandoned) return false;
            row.rid = rid;
            return true;
        };
        const std::string composedAt = row.localTime;
        lock.unlock();
        const RowOutcome outcome = rows_.Insert(job.reading.reading, kind, composedAt, options);
        lock.lock();
        if (job.abandoned) return;
        row.outcome = outcome;
        row.state = Row::State::Done;
        if (outcome.result != RowOutcome::Result::Stored && outcome.result != RowOutcome::Result::Refused) return;
    }
}
