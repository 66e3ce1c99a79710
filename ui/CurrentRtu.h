#pragma once

#include "core/RtuSlot.h"

// The RTU shown on the RTU state page: null at start, set by the RTU list page, read by the state
// page and the history operations. A slot of the live RTU table. User-interface thread only.
extern RtuSlot* currentRtu;
