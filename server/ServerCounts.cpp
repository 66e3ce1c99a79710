#include "server/ServerCounts.h"

ServerCounts serverCounts;
