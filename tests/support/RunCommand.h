#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>

// What a shell command wrote on its standard output (redirect standard error in the command to
// keep it too), and its exit status; -1 when it could not be run or did not exit normally.
struct CommandResult {
    std::string output;
    int status = -1;
};

inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
