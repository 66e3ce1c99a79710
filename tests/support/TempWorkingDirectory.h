#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

// A fresh directory under GoogleTest's temporary directory, removed with everything in it when the
// object goes. Each test gets its own, so no test reads another's files.
class TempDirectory {
public:
    explicit TempDirectory(const std::string& prefix = "telvorn") {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / (prefix + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << pattern;
        path = pattern;
    }
    ~TempDirectory() {
        std::error_code ignored;  // a test that failed half-way may leave nothing to remove
        std::filesystem::remove_all(path, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary | std::ios::trunc) << text;
    }
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

// Makes a directory the current one for the life of the object and then goes back, for code that
// reads its INI files and writes "Log.txt" in "./".
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::filesystem::path& directory)
        : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~ScopedWorkingDirectory() { std::filesystem::current_path(previous); }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

private:
    std::filesystem::path previous;
};

// A fresh TempDirectory that is the current one for the life of the object.
class TempWorkingDirectory : public TempDirectory {
public:
    explicit TempWorkingDirectory(const std::string& prefix = "telvorn") : TempDirectory(prefix), working(Path()) {}

private:
    ScopedWorkingDirectory working;
};

// The status-line words of "./rtu_ui.ini", for tests that start the server.
inline const char* const kStatusTitles =
    "[Titles]\nSVRSTART=Listening on\nSVRCONN=connections\nSVRTHEAD=workers\nSVRTIMEOUT=idle time-out\n"
    "SVRTIMEOUTSEC=s\n";
