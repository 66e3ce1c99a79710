#include "storage/DatabasePlaces.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

std::filesystem::path HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return ".";
}

std::filesystem::path DatabaseDirectory() { return HomeDirectory() / "rtu"; }

std::filesystem::path DatabaseFile() { return DatabaseDirectory() / "RTU.db"; }

void CopySeedDatabase(const std::filesystem::path& seed, const std::filesystem::path& target) {
    if (std::ifstream(target).is_open()) return;
    std::error_code ignored;
    std::filesystem::copy_file(seed, target, std::filesystem::copy_options::skip_existing, ignored);
}
