#pragma once

#include <string>

#include "platform/profile/MessageBox.h"

// The ODBC installer library, opened with dlopen the first time a data source is registered, so a
// system without it still runs (without a database) instead of failing to start.
//
// Threads: the user-interface thread only.
class OdbcInstaller {
public:
    explicit OdbcInstaller(std::string libraryName = "libodbcinst.so.2") : libraryName_(std::move(libraryName)) {}
    ~OdbcInstaller();
    OdbcInstaller(const OdbcInstaller&) = delete;
    OdbcInstaller& operator=(const OdbcInstaller&) = delete;

    // Registers the data source "RTUDB" on the driver "Telvorn RTUDB" for the file ~/rtu/RTU.db:
    // as a system data source, and when that is refused as a user data source. A missing library
    // is shown in the "ODBC Installer Error" box and counts as not registered.
    bool RegisterDataSource(IMessageBox& box);

    // True when the installer library is there and names no driver for "RTUDB" in either the user's
    // or the system's odbc.ini. The driver manager remembers a data source it failed to find for
    // 20 seconds, so the program registers before its first connection attempt rather than after.
    bool DataSourceMissing();

private:
    using ConfigDataSource = int (*)(void* parent, unsigned short request, const char* driver, const char* attributes);

    using GetProfileString = int (*)(const char* section, const char* entry, const char* fallback, char* buffer,
                                     int size, const char* file);

    bool Load();

    std::string libraryName_;
    void* library_ = nullptr;
    ConfigDataSource configDataSource_ = nullptr;
    GetProfileString getProfileString_ = nullptr;
};

// The installer the program registers with.
OdbcInstaller& ProcessOdbcInstaller();

inline constexpr const char* kDataSourceName = "RTUDB";
inline constexpr const char* kDriverName = "Telvorn RTUDB";
