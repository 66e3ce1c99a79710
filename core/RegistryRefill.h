#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/RtuTable.h"

// One RTU of the registry as the live table takes it.
struct RegisteredRtu {
    std::string uidText;
    std::int32_t model = 0;
};

// Brings the table's unit ids and models to `rtus` (registry order) while the workers go on
// decoding into it. An RTU already in the table keeps its slot, its values and its last report,
// so a reading on its way to that slot still lands there; only its model is written again. A slot
// whose RTU is gone is emptied. A new RTU takes an empty slot past the last one in use, or, when
// there is none, the first empty slot; the slot is emptied, given its model, and only then its unit
// id, so that no reading finds it half made. RTUs past the table's size and repeated unit ids are
// left out. Returns the number of RTUs added.
//
// Every reload takes this way: the window's list reload (through LoadRegistry), the headless
// start and its SIGHUP.
// Threads: one caller at a time (the user-interface thread or the headless runner's main thread);
// workers may decode meanwhile.
std::size_t RefillRtuTable(RtuTable& table, const std::vector<RegisteredRtu>& rtus);
