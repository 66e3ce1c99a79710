#include "platform/profile/PidFile.h"

#include <unistd.h>

#include <fstream>
#include <string>

bool WritePidFile(const char* path) {
    std::ofstream file(path, std::ios::trunc);
    file << getpid() << '\n';
    file.flush();
    return static_cast<bool>(file);
}

void RemovePidFile(const char* path) {
    if (ReadPidFile(path) == getpid()) unlink(path);
}

std::optional<pid_t> ReadPidFile(const char* path) {
    std::ifstream file(path);
    long pid = 0;
    if (!(file >> pid) || pid <= 0) return std::nullopt;
    return static_cast<pid_t>(pid);
}
