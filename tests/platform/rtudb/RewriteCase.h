#pragma once

#include <ostream>

// One row of a rewriter table: the Access text and what the engine is given instead.
struct RewriteCase {
    const char* name;
    const char* input;
    const char* output;
};

inline void PrintTo(const RewriteCase& c, std::ostream* out) { *out << c.name; }
