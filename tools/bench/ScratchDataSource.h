#pragma once

#include <odbcinst.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "storage/OdbcInstaller.h"

// Registers the build tree's RTUDB driver in an ODBC set-up of its own below `scratch` (ODBCSYSINI,
// ODBCINI and HOME point there, so /etc is never touched) and adds a system data source with
// `attributes` ("DSN=...;KEY=value"). Call before the process's first ODBC call: unixODBC caches
// the paths then.
inline bool RegisterScratchSource(const std::filesystem::path& scratch, std::string attributes) {
    const std::filesystem::path etc = scratch / "etc";
    std::filesystem::create_directories(etc);
    std::ofstream(etc / "odbcinst.ini") << "[" << kDriverName << "]\nDriver=" << TELVORN_RTUDB_DRIVER
                                        << "\nSetup=" << TELVORN_RTUDB_DRIVER << "\n";
    std::ofstream(etc / "odbc.ini").flush();
    setenv("ODBCSYSINI", etc.c_str(), 1);
    setenv("ODBCINI", (scratch / "user-odbc.ini").c_str(), 1);
    setenv("HOME", scratch.c_str(), 1);
    attributes += ";;";
    for (char& c : attributes) {
        if (c == ';') c = '\0';
    }
    return SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, kDriverName, attributes.c_str());
}
