#pragma once

#include <optional>

#include "platform/profile/PidFile.h"

// The telvorn-headless running in the current directory, from the pid file it keeps there; none
// when there is no such file or its pid is no telvorn-headless now (left by a crash).
std::optional<PidFileContents> RunningService();

// Tells the telvorn-headless running in the current directory to read the registry again, with
// SIGHUP as `systemctl reload` sends it, and says so on standard output. kExitDone when it was told
// or when none runs here (one started later reads the registry at its start);
// kExitServiceUnreached when the signal was refused (another user's process).
int ReloadRunningService();
