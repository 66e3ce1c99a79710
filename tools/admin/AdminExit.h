#pragma once

// The exit status of telvorn-admin, which scripts test: documented in its --help and the README.
enum AdminExit {
    kExitDone = 0,
    kExitRefused = 1,          // the registry refused the change (its message says why)
    kExitUsage = 2,            // wrong usage, or no RTU form in ./data_rtu.ini
    kExitNoDatabase = 3,       // the database could not be opened
    kExitNoSuchRtu = 4,        // edit or delete of a unit id that is not registered
    kExitNotConfirmed = 5,     // the deletion was not confirmed
    kExitServiceUnreached = 6  // stored, but the running service was not told; or not asked
};
