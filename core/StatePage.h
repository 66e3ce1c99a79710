#pragma once

#include <cstdint>

// Command id posted to the RTU state page after a change of the live table.
inline constexpr std::uint32_t CMD_REFRESH_STATE = 5121;

// The RTU state page as the telemetry core sees it. PostCommand never waits for the page: the
// window's implementation queues the command for the user-interface thread. Called from worker threads.
class IStatePage {
public:
    virtual void PostCommand(std::uint32_t commandId) = 0;

protected:
    ~IStatePage() = default;
};
