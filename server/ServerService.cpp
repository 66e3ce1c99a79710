#include "server/ServerService.h"

std::uint32_t ProcessorCount() {
    unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : count;
}
