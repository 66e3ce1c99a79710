#include "platform/rtudb/HomePath.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

std::string ExpandHomePath(const std::string& path) {
    if (path.rfind("~/", 0) != 0) return path;
    return HomeDirectory() + path.substr(1);
}
