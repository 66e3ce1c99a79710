#pragma once

#include <cstddef>
#include <string>

#include "core/ChunkView.h"

// Position carried after the items of a counter report, as received (not converted to degrees).
struct GpsPosition {
    double latitude = 0.0;
    double longitude = 0.0;
};

// Reads latitude and longitude from an NMEA-like sentence in the 60 characters from pos:
// "G" and five more characters with a comma, latitude digits, ",", hemisphere, ",", longitude digits, ",".
// A value whose closing comma is missing stays 0.
GpsPosition ScanGpsPosition(const ChunkView& text, std::size_t pos);

// Appends one whole line to the counters file, creating it when missing. Lines from different
// threads never interleave. Returns false when the file cannot be opened or written. Any thread.
bool AppendCountersLine(const std::string& path, const std::string& line);
