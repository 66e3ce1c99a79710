#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// The file in the working directory that tells who serves there: the pid of the telvorn-headless
// running there, so that telvorn-admin (or a script) can have it read the registry again, and on a
// second line the address of its monitoring endpoint (empty while it has none), which telvorn-admin
// asks for the RTUs that report unregistered.
inline constexpr const char* kServicePidFile = "./telvorn-headless.pid";

struct PidFileContents {
    pid_t pid = 0;
    std::string endpointUrl;
};

// Writes the calling process's pid and the endpoint's address; the file is replaced whole (written
// beside it, then renamed), so a reader never sees it half written. False when it cannot be written.
bool WritePidFile(const char* path, const std::string& endpointUrl = {});
// Removes the file if it still holds the calling process's pid (another may have started since).
void RemovePidFile(const char* path);
// What the file holds; none when it is missing or holds no positive pid.
std::optional<PidFileContents> ReadPidFile(const char* path);
