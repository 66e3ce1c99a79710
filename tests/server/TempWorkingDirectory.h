#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

// A fresh temporary directory made the current one for the life of the object, for code that reads
// its INI files from "./".
class TempWorkingDirectory {
public:
    TempWorkingDirectory() : previous(std::filesystem::current_path()) {
        char pattern[] = "/tmp/telvorn-server-XXXXXX";
        path = mkdtemp(pattern);
        std::filesystem::current_path(path);
    }
    ~TempWorkingDirectory() {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(path);
    }
    TempWorkingDirectory(const TempWorkingDirectory&) = delete;
    TempWorkingDirectory& operator=(const TempWorkingDirectory&) = delete;

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary | std::ios::trunc) << text;
    }
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path previous;
    std::filesystem::path path;
};

inline const char* const kStatusTitles =
    "[Titles]\nSVRSTART=Listening on\nSVRCONN=connections\nSVRTHEAD=workers\nSVRTIMEOUT=idle time-out\n"
    "SVRTIMEOUTSEC=s\n";
