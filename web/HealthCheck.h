#pragma once

#include <string>

#include "storage/SpoolFigures.h"

// What /healthz tells: healthy while no reading is being lost, with which way readings go; not
// healthy, with the reason, while readings are refused or lost, the spool is unusable, or the RTU
// port is not served.
struct Health {
    bool ok = false;
    std::string reason;  // one line, without its line end
};

// `spool` is null where the program keeps no history; `databaseConnected` is whether the database
// is open, `lastWriteStored` whether the last history write stored its row (all there is to go by
// without a spool).
Health JudgeHealth(bool rtuPortServed, const SpoolFigures* spool, bool databaseConnected, bool lastWriteStored);
