#pragma once

// Tells the telvorn-headless running in the current directory (its pid in the pid file it writes
// there) to read the registry again, with SIGHUP as `systemctl reload` sends it, and says so on
// standard output. kExitDone when it was told or when none runs here (one started later reads
// the registry at its start); kExitServiceUnreached when the signal was refused (another user's
// process).
int ReloadRunningService();
