#pragma once

#include <stdexcept>

// What the connection server raises while it is built or started: only a message text, which the
// start-up shows to the operator unchanged.
class ServerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
