#include "tools/admin/ServiceReload.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/profile/PidFile.h"
#include "tools/admin/AdminExit.h"

namespace {

constexpr const char* kServiceName = "telvorn-headless";

// A pid file outlives a crash and its pid may be taken by another program since: only a process
// started as telvorn-headless is signalled. Its command line is readable by every user.
bool RunsTheService(pid_t pid) {
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
    std::string program;
    if (!std::getline(cmdline, program, '\0')) return false;
    const std::size_t slash = program.rfind('/');
    return program.substr(slash == std::string::npos ? 0 : slash + 1) == kServiceName;
}

}  // namespace

std::optional<PidFileContents> RunningService() {
    std::optional<PidFileContents> service = ReadPidFile(kServicePidFile);
    if (service && !RunsTheService(service->pid)) service.reset();
    return service;
}

int ReloadRunningService() {
    const std::optional<PidFileContents> service = RunningService();
    if (!service) {
        std::printf("No %s runs in this directory (no live pid in %s): it reads the registry when it starts.\n",
                    kServiceName, kServicePidFile);
        return kExitDone;
    }
    const int pid = static_cast<int>(service->pid);
    if (kill(service->pid, SIGHUP) != 0) {
        std::fprintf(stderr,
                     "%s (pid %d) could not be told to read the registry again: %s. Run telvorn-admin as the "
                     "service's user, or: systemctl reload %s\n",
                     kServiceName, pid, std::strerror(errno), kServiceName);
        return kExitServiceUnreached;
    }
    std::printf("%s (pid %d) told to read the registry again.\n", kServiceName, pid);
    return kExitDone;
}
