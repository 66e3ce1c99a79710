#pragma once

#include <filesystem>
#include <string>

// Keeps a spool to one process: an flock on "<spool>.lock" beside it, taken before the spool's
// files are looked at and held until the object goes. The lock file names the holder's pid, so
// that the second process can say which one has the spool. The lock file is left in place at the
// end: removing it would race with a process about to lock it.
//
// Threads: one at a time.
class SpoolLock {
public:
    enum class Result { Taken, HeldElsewhere, Failed };

    SpoolLock() = default;
    ~SpoolLock();
    SpoolLock(const SpoolLock&) = delete;
    SpoolLock& operator=(const SpoolLock&) = delete;

    // Takes the lock of the spool at `spoolPath`; anything but Taken sets `message`.
    Result Take(const std::filesystem::path& spoolPath, std::string& message);

private:
    int descriptor_ = -1;
};
