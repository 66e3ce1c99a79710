#pragma once

#include <cstddef>
#include <string>

#include "core/RtuRecord.h"

// One line of JSON with the slot number and every field of the record.
std::string RecordToJson(std::size_t slot, const RtuRecord& record);
