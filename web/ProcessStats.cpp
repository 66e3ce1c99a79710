#include "web/ProcessStats.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

// Seconds since 1970 at which the system booted, from /proc/stat's btime.
double BootTimeSeconds() {
    std::ifstream stat("/proc/stat");
    for (std::string line; std::getline(stat, line);) {
        if (line.rfind("btime ", 0) == 0) return std::stod(line.substr(6));
    }
    return 0;
}

}  // namespace

ProcessStats ReadProcessStats() {
    ProcessStats stats;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // The program name in parentheses may hold blanks: fields are counted after its closing one.
    const std::size_t close = stat.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        double utime = 0, stime = 0, start = 0, rssPages = 0;
        for (int i = 3; fields >> field; ++i) {
            if (i == 14) utime = std::stod(field);
            if (i == 15) stime = std::stod(field);
            if (i == 22) start = std::stod(field);
            if (i == 24) {
                rssPages = std::stod(field);
                break;
            }
        }
        stats.cpuSeconds = (utime + stime) / ticks;
        stats.startTimeSeconds = BootTimeSeconds() + start / ticks;
        stats.residentBytes = rssPages * static_cast<double>(sysconf(_SC_PAGESIZE));
    }
    if (DIR* fds = opendir("/proc/self/fd")) {
        int count = 0;
        while (const dirent* entry = readdir(fds)) {
            if (entry->d_name[0] != '.') ++count;
        }
        closedir(fds);
        stats.openFds = count - 1;  // the directory's own descriptor
    }
    return stats;
}
