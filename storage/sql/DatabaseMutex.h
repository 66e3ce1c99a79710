#pragma once

#include <mutex>

// Serialises every statement run through the one CSQLDatabase: the history writers, the
// registry's changes and the history page's loads and deletions take it; holders wait without
// a time limit. Re-entrant, so a holder may call code that takes it again.
extern std::recursive_mutex DatabaseMutex;
