#pragma once

#include "core/RtuRecord.h"

// The RTU shown on the RTU state page: null at start, set by the RTU list page, read by the state
// page and the history operations. User-interface thread only.
extern RtuRecord* currentRtu;
