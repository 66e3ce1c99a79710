#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "storage/SpooledReading.h"

// What a spool that cannot be used as it is leaves behind, kept and read: a damaged file, or a
// write-ahead log whose file has gone (moved, deleted). Nothing is deleted: the files are renamed
// beside the spool, and the readings that can still be read are handed on to be forwarded.
namespace spool_recovery {

// When the spool file is missing or empty but its "-wal" holds something, renames the log to
// "<spool>.orphan-<time>-wal" beside an empty file of its own (SQLite ignores, and deletes, a log
// beside an empty file), and returns that file's path; empty when there is no such log.
std::filesystem::path KeepOrphanedLogAside(const std::filesystem::path& spool);

// Renames the spool file and its "-wal" to "<spool>.damaged-<time>" and "...-wal"; returns the new
// path, empty when the file could not be renamed.
std::filesystem::path KeepDamagedAside(const std::filesystem::path& spool);

// Reads every reading (and every row set aside) that can still be read from a spool file kept
// aside, oldest first, skipping past damaged pages; hands each on and returns how many.
std::int64_t Salvage(const std::filesystem::path& aside, const std::function<void(SpooledReading&)>& take);

}  // namespace spool_recovery
