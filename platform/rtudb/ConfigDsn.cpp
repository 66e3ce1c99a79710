// The driver is its own setup library: SQLConfigDataSource reaches ConfigDSN here.
#include <odbcinst.h>

#include <strings.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Attribute = std::pair<std::string, std::string>;

// "KEY=value" strings, each NUL-terminated, the list ended by an empty string.
std::vector<Attribute> ParseAttributes(LPCSTR attributes) {
    std::vector<Attribute> parsed;
    for (const char* item = attributes; item != nullptr && *item != '\0'; item += std::string(item).size() + 1) {
        const std::string text(item);
        const auto equals = text.find('=');
        if (equals == std::string::npos) continue;
        parsed.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    }
    return parsed;
}

bool IsDsnKey(const std::string& key) {
    return key.size() == 3 && (key[0] | 0x20) == 'd' && (key[1] | 0x20) == 's' && (key[2] | 0x20) == 'n';
}

bool WriteDataSource(const std::string& dsn, LPCSTR driver, const std::vector<Attribute>& attributes) {
    if (!SQLWriteDSNToIni(dsn.c_str(), driver)) return false;
    for (const auto& [key, value] : attributes) {
        if (IsDsnKey(key)) continue;
        if (!SQLWritePrivateProfileString(dsn.c_str(), key.c_str(), value.c_str(), "odbc.ini")) return false;
    }
    return true;
}

constexpr int kEngineValueSize = 64;

// The engine an existing data source of that name names, in the user's or the system's file;
// empty for none or for an entry without ENGINE (SQLite).
std::string ExistingEngine(const std::string& dsn) {
    UWORD mode = ODBC_BOTH_DSN;
    SQLGetConfigMode(&mode);
    SQLSetConfigMode(ODBC_BOTH_DSN);
    char engine[kEngineValueSize] = {};
    SQLGetPrivateProfileString(dsn.c_str(), "ENGINE", "", engine, sizeof engine, "odbc.ini");
    SQLSetConfigMode(mode);
    return strcasecmp(engine, "sqlite") == 0 ? std::string() : std::string(engine);
}

// Adding a data source over one that an administrator pointed at another engine would silently
// move the history back into a local file (the program registers its own entry whenever its
// connection fails, for instance while the server is down): such an entry is left as it is, and
// the request fails. Changing it on purpose is ODBC_CONFIG_DSN.
bool AddDataSource(const std::string& dsn, LPCSTR driver, const std::vector<Attribute>& attributes) {
    const std::string engine = ExistingEngine(dsn);
    if (engine.empty()) return WriteDataSource(dsn, driver, attributes);
    const std::string message = "data source " + dsn + " names engine " + engine + "; left unchanged";
    SQLPostInstallerError(ODBC_ERROR_REQUEST_FAILED, message.c_str());
    return false;
}

bool Configure(WORD request, LPCSTR driver, const std::string& dsn, const std::vector<Attribute>& attributes) {
    switch (request) {
        case ODBC_ADD_DSN:
            return AddDataSource(dsn, driver, attributes);
        case ODBC_CONFIG_DSN:
            return WriteDataSource(dsn, driver, attributes);
        case ODBC_REMOVE_DSN:
            return SQLRemoveDSNFromIni(dsn.c_str());
        default:
            return false;
    }
}

}  // namespace

extern "C" {

// Requests 1 to 3 follow the installer's current configuration mode (the driver manager sets
// it for a system data source); 4 to 6 name the system data sources themselves.
BOOL INSTAPI ConfigDSN(HWND, WORD request, LPCSTR driver, LPCSTR attributes) {
    const std::vector<Attribute> parsed = ParseAttributes(attributes);
    std::string dsn;
    for (const auto& [key, value] : parsed)
        if (IsDsnKey(key)) dsn = value;
    if (dsn.empty()) {
        SQLPostInstallerError(ODBC_ERROR_INVALID_KEYWORD_VALUE, "DSN attribute missing");
        return 0;
    }
    if (request < ODBC_ADD_SYS_DSN) return Configure(request, driver, dsn, parsed) ? 1 : 0;
    UWORD previousMode = ODBC_BOTH_DSN;
    SQLGetConfigMode(&previousMode);
    SQLSetConfigMode(ODBC_SYSTEM_DSN);
    const bool done = Configure(static_cast<WORD>(request - ODBC_ADD_SYS_DSN + ODBC_ADD_DSN), driver, dsn, parsed);
    SQLSetConfigMode(previousMode);
    return done ? 1 : 0;
}

}  // extern "C"
