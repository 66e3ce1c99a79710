#include "platform/profile/PidFile.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

bool WritePidFile(const char* path, const std::string& endpointUrl) {
    const std::string written = std::string(path) + ".new";
    {
        std::ofstream file(written, std::ios::trunc);
        file << getpid() << '\n' << endpointUrl << '\n';
        file.flush();
        if (!file) return false;
    }
    return std::rename(written.c_str(), path) == 0;
}

void RemovePidFile(const char* path) {
    const std::optional<PidFileContents> contents = ReadPidFile(path);
    if (contents && contents->pid == getpid()) unlink(path);
}

std::optional<PidFileContents> ReadPidFile(const char* path) {
    std::ifstream file(path);
    long pid = 0;
    if (!(file >> pid) || pid <= 0) return std::nullopt;
    PidFileContents contents{static_cast<pid_t>(pid), {}};
    file.ignore(1);  // the line end after the pid
    std::getline(file, contents.endpointUrl);
    return contents;
}
