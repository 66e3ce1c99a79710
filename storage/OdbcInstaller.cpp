#include "storage/OdbcInstaller.h"

#include <dlfcn.h>
#include <odbcinst.h>

namespace {

// One NUL-terminated string per attribute, the list ended by an empty string; "~" is expanded by
// the driver from the connecting user's home.
constexpr char kAttributes[] = "DSN=RTUDB\0DBQ=~/rtu/RTU.db\0DEFAULTDIR=~/rtu\0";

}  // namespace

OdbcInstaller::~OdbcInstaller() {
    if (library_ != nullptr) dlclose(library_);
}

bool OdbcInstaller::Load() {
    if (configDataSource_ != nullptr && getProfileString_ != nullptr) return true;
    if (library_ == nullptr) library_ = dlopen(libraryName_.c_str(), RTLD_NOW);
    if (library_ == nullptr) return false;
    configDataSource_ = reinterpret_cast<ConfigDataSource>(dlsym(library_, "SQLConfigDataSource"));
    getProfileString_ = reinterpret_cast<GetProfileString>(dlsym(library_, "SQLGetPrivateProfileString"));
    return configDataSource_ != nullptr && getProfileString_ != nullptr;
}

bool OdbcInstaller::DataSourceMissing() {
    if (!Load()) return false;
    char driver[256] = {};
    getProfileString_(kDataSourceName, "Driver", "", driver, sizeof driver, "ODBC.INI");
    return driver[0] == '\0';
}

bool OdbcInstaller::RegisterDataSource(IMessageBox& box) {
    if (!Load()) {
        box.Show("The ODBC installer DLL (ODBCCP32.DLL) is not installed on this system.", "ODBC Installer Error",
                 MessageIcon::Information, MessageButtons::Ok);
        return false;
    }
    // A system data source needs a writable system odbc.ini; without one the user's own file serves.
    if (configDataSource_(nullptr, ODBC_ADD_SYS_DSN, kDriverName, kAttributes)) return true;
    return configDataSource_(nullptr, ODBC_ADD_DSN, kDriverName, kAttributes) != 0;
}

OdbcInstaller& ProcessOdbcInstaller() {
    static OdbcInstaller installer;
    return installer;
}
