#pragma once

#include <filesystem>

// Where the database lives: the directory "rtu" in the home directory ($HOME, else the password
// entry's home), the file RTU.db in it, and the seed "./RTU.db" in the current directory.
std::filesystem::path HomeDirectory();
std::filesystem::path DatabaseDirectory();
std::filesystem::path DatabaseFile();
inline const std::filesystem::path kSeedDatabase = "./RTU.db";

// Copies the seed to the database file when that file cannot be opened for reading; an existing
// file is never overwritten and a failed copy is not reported (the connection attempt decides).
void CopySeedDatabase(const std::filesystem::path& seed, const std::filesystem::path& target);
