#pragma once

#include <sys/types.h>

#include <optional>

// The file in the working directory that holds the pid of the telvorn-headless running there, so that
// telvorn-admin (or a script) can tell it to read the registry again.
inline constexpr const char* kServicePidFile = "./telvorn-headless.pid";

// Writes the calling process's pid as a decimal line; false when the file cannot be written.
bool WritePidFile(const char* path);
// Removes the file if it still holds the calling process's pid (another may have started since).
void RemovePidFile(const char* path);
// The pid the file holds; none when it is missing or holds no positive number.
std::optional<pid_t> ReadPidFile(const char* path);
