#include "storage/sql/DatabaseMutex.h"

std::recursive_mutex DatabaseMutex;
