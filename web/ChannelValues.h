#pragma once

#include <nlohmann/json.hpp>

#include "core/ChannelNames.h"
#include "core/ReportedChannels.h"
#include "core/RtuRecord.h"

// Every channel of the record that its model has (as the RTU state page shows them), and every
// Modbus register or coil written: one object each with the channel as the history names it
// ("AIN1", "ECOUNTER0"), its display name from the channel-name file (the channel when it has
// none), its unit where the file gives one, and its value, null for a channel not reported since the
// slot was filled; a register also its kind, "Input" or "Coil".
nlohmann::json ChannelValues(const RtuRecord& record, const ReportedChannels& reported, const ChannelNames& names);
