#pragma once

#include <cstdint>
#include <random>

namespace rtusim {

// Random choices of one connection, reproducible from its seed.
class Draw {
public:
    explicit Draw(std::mt19937_64& engine) : engine(engine) {}

    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); }
    bool coin() { return between(0, 1) == 1; }
    // A whole value that survives every scaling of the server exactly.
    int wholeValue() { return between(-300, 300); }

private:
    std::mt19937_64& engine;
};

}  // namespace rtusim
