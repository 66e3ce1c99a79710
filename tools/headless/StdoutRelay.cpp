#include "tools/headless/StdoutRelay.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

bool WriteAll(int fd, const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t written = write(fd, text.data() + at, text.size() - at);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        at += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

StdoutRelay::~StdoutRelay() {
    if (reader.joinable()) reader.join();
    if (writer.joinable()) writer.join();
}

bool StdoutRelay::Start() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    std::fflush(stdout);
    realOutput = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (realOutput < 0 || dup2(ends[1], STDOUT_FILENO) < 0) {
        close(ends[0]);
        close(ends[1]);
        if (realOutput >= 0) close(realOutput);
        realOutput = -1;
        return false;
    }
    close(ends[1]);
    reader = std::thread([this, pipeRead = ends[0]] { ReadLines(pipeRead); });
    writer = std::thread([this] { WriteLines(); });
    return true;
}

bool StdoutRelay::Stop(std::chrono::milliseconds limit) {
    if (realOutput < 0) return true;
    std::fflush(stdout);
    // Descriptor 1 was the pipe's only write end: once it points elsewhere the reader sees the end.
    const int nothing = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(nothing, STDOUT_FILENO);
    close(nothing);
    bool written = false;
    {
        std::unique_lock guard(lock);
        written = changed.wait_for(guard, limit, [this] { return writerDone; });
    }
    // A writer still blocked on a stalled output is left to the process's exit.
    if (written) {
        reader.join();
        writer.join();
    } else {
        reader.detach();
        writer.detach();
    }
    return written;
}

void StdoutRelay::ReadLines(int pipeRead) {
    std::string pending;
    char buffer[16384];
    for (;;) {
        const ssize_t got = read(pipeRead, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(got));
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            Queue(pending.substr(start, end + 1 - start));
        }
        pending.erase(0, start);
    }
    close(pipeRead);
    if (!pending.empty()) Queue(pending);
    std::lock_guard guard(lock);
    if (dropped > 0) QueueDroppedNote();
    inputEnded = true;
    changed.notify_all();
}

void StdoutRelay::Queue(std::string line) {
    std::lock_guard guard(lock);
    if (outputGone) {
        ++dropped;
        return;
    }
    // Once full, lines are dropped until half the queue is out, so one blocked spell makes one note.
    const bool full = queuedBytes + line.size() > kMaxQueuedBytes;
    if (full || (dropped > 0 && queuedBytes > kMaxQueuedBytes / 2)) {
        ++dropped;  // the writer notes it at the latest once it has emptied the queue
        droppedTotal.fetch_add(1, std::memory_order_relaxed);
        changed.notify_all();
        return;
    }
    if (dropped > 0) QueueDroppedNote();
    queuedBytes += line.size();
    queued.push_back(std::move(line));
    changed.notify_all();
}

void StdoutRelay::QueueDroppedNote() {
    char note[96];
    std::snprintf(note, sizeof note, "telvorn-headless: %llu lines dropped while standard output was blocked\n",
                  static_cast<unsigned long long>(dropped));
    dropped = 0;
    queued.emplace_back(note);
    queuedBytes += queued.back().size();
}

void StdoutRelay::WriteLines() {
    std::unique_lock guard(lock);
    for (;;) {
        changed.wait(guard, [this] { return !queued.empty() || dropped > 0 || inputEnded; });
        // Everything queued is out: the count of what was dropped after it comes next.
        if (queued.empty() && dropped > 0) QueueDroppedNote();
        if (queued.empty()) break;
        std::string batch;
        while (!queued.empty() && batch.size() < 65536) {
            batch += queued.front();
            queuedBytes -= queued.front().size();
            queued.pop_front();
        }
        guard.unlock();
        const bool written = WriteAll(realOutput, batch);
        guard.lock();
        if (!written) {
            // The real output is gone (its reader exited, EPIPE): nothing more can be shown, so every
            // line from now on is counted as dropped and let go at once.
            outputGone = true;
            dropped += queued.size();
            queued.clear();
            queuedBytes = 0;
            break;
        }
    }
    writerDone = true;
    changed.notify_all();
}
