#include "storage/SpoolLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The holder's pid as the lock file says it; empty when it says nothing readable.
std::string HolderPid(int descriptor) {
    char text[32] = {};
    const ssize_t length = pread(descriptor, text, sizeof text - 1, 0);
    std::string pid(text, length > 0 ? static_cast<std::size_t>(length) : 0);
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
    return pid.find_first_not_of("0123456789") == std::string::npos ? pid : std::string();
}

}  // namespace

SpoolLock::~SpoolLock() {
    if (descriptor_ >= 0) close(descriptor_);
}

SpoolLock::Result SpoolLock::Take(const std::filesystem::path& spoolPath, std::string& message) {
    const std::string lockPath = spoolPath.string() + ".lock";
    const int descriptor = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        message = "cannot create " + lockPath + ": " + std::strerror(errno);
        return Result::Failed;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        const std::string pid = HolderPid(descriptor);
        close(descriptor);
        if (error != EWOULDBLOCK) {
            message = "cannot lock " + lockPath + ": " + std::strerror(error);
            return Result::Failed;
        }
        message = "spool " + spoolPath.string() + " is held by another Telvorn process" +
                  (pid.empty() ? std::string() : " (pid " + pid + ")");
        return Result::HeldElsewhere;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    // The pid only makes the other process's message clearer: the lock holds without it.
    [[maybe_unused]] const bool named = ftruncate(descriptor, 0) == 0 && pwrite(descriptor, pid.data(), pid.size(),
                                                                                0) == static_cast<ssize_t>(pid.size());
    descriptor_ = descriptor;
    return Result::Taken;
}
