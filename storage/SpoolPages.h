#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "storage/SpooledReading.h"

// The readings of a spool file read page by page, without the b-tree above them: for a file whose
// upper pages are damaged, or a write-ahead log whose file has gone, where SQLite cannot reach the
// pages that still hold readings. Each page is taken as the log's last committed frame leaves it,
// else as the file holds it; every table leaf page whose rows have the layout of the spool's
// readings gives its rows, in page order. Spool files zero the pages and cells they free
// (secure_delete), so no reading already forwarded comes back.
namespace spool_pages {

// Hands on every reading found in `file` and its "-wal"; returns how many.
std::int64_t Scan(const std::filesystem::path& file, const std::function<void(SpooledReading&)>& take);

}  // namespace spool_pages
