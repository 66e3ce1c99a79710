#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "storage/RtuRegistry.h"

// The local copy of the registry: what the program serves when it starts while the database does
// not answer. Written after every complete read of RTU_TAB, beside the spool ("./RTUDB-registry.txt",
// one per data source). A text file: a heading line, one line per row (UID, RDATA1 ... RDATA12
// separated by tabs, with backslash, tab, carriage return and line feed written \\ \t \r \n), and an
// end line with the row count, so that a copy cut short is never taken for a smaller registry.
std::filesystem::path RegistryCopyPath();

// Replaces the copy as a whole (a new file renamed over the old one, flushed to disk first), so a
// crash leaves the old copy or the new one. False with `error` when it cannot be written.
bool SaveRegistryCopy(const std::filesystem::path& path, const std::vector<RegistryRow>& rows, std::string& error);
// The rows of the copy; nothing with `error` when there is none or it is not whole.
std::optional<std::vector<RegistryRow>> LoadRegistryCopy(const std::filesystem::path& path, std::string& error);
