#include "storage/OpenDatabase.h"

#include <mutex>
#include <string>
#include <system_error>

#include "platform/profile/IniFiles.h"
#include "platform/profile/ProfileSettings.h"
#include "storage/DatabasePlaces.h"
#include "storage/HistoryCounts.h"
#include "storage/MessageText.h"
#include "storage/OdbcInstaller.h"
#include "storage/ReadingsView.h"
#include "storage/Schema.h"
#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"

namespace {

// The login is read anew for each attempt, as the file is for every other read.
bool ConnectWithLogin(CSQLDatabase& database) {
    const DatabaseLogin login = ReadDatabaseLogin();
    return database.Connect(kDataSourceName, login.user, login.password);
}

// Steps that may raise: connect, register on failure, connect again. False when not connected.
// A data source known to be missing is registered before the first attempt, since the driver
// manager would answer the retry from its memory of the failed lookup.
bool Connect(CSQLDatabase& database, IMessageBox& box, OdbcInstaller& installer) {
    if (installer.DataSourceMissing()) installer.RegisterDataSource(box);
    if (ConnectWithLogin(database)) return true;
    installer.RegisterDataSource(box);
    if (ConnectWithLogin(database)) return true;
    ShowMessageText(box, kErrorsSection, "OPEN_DB_ERR", MessageIcon::Stop);
    return false;
}

// An error means the table is there already (or cannot be made); either way nothing is shown.
bool CreateFixedTable(CSQLDatabase& database, const std::string& creation) {
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    try {
        return database.Execute(creation);
    } catch (const CSQLException&) {
        return false;
    }
}

// Whichever way an open ends, the monitoring's database state follows the connection.
struct NoteOpen {
    CSQLDatabase& database;
    ~NoteOpen() { historyCounts.Open(database.connected.load()); }
};

void OpenUnderLock(CSQLDatabase& database, IMessageBox& box, OdbcInstaller& installer) {
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    NoteOpen noteOpen{database};
    std::error_code ignored;
    std::filesystem::create_directory(DatabaseDirectory(), ignored);
    if (!database.connected) {
        CopySeedDatabase(kSeedDatabase, DatabaseFile());
        try {
            if (!Connect(database, box, installer)) return;
        } catch (const std::exception&) {
            ShowMessageText(box, kErrorsSection, "OPEN_DB_ERR", MessageIcon::None);
            if (!database.connected) return;
        } catch (const CSQLException&) {
            ShowMessageText(box, kErrorsSection, "OPEN_DB_ERR", MessageIcon::None);
            if (!database.connected) return;
        }
    }
    ShowMessageText(box, kSuccessSection, "OPEN_DB_OK", MessageIcon::Information);
    if (CreateFixedTable(database, RtuTableCreation()))
        ShowMessageText(box, kSuccessSection, "CREATE_RTU_TAB_OK", MessageIcon::None);
    if (CreateFixedTable(database, kFullRcdsCreation))
        ShowMessageText(box, kSuccessSection, "CREATE_RTU_TAB_OK", MessageIcon::None);
    CreateReadingsView(database);
}

}  // namespace

MessageAnswer KeptMessageBoxes::Show(const std::string& text, const std::string& caption, MessageIcon icon,
                                     MessageButtons buttons) {
    kept.push_back({text, caption, icon, buttons});
    return MessageAnswer::Ok;
}

void KeptMessageBoxes::ShowOn(IMessageBox& box) {
    std::vector<Kept> shown;
    shown.swap(kept);
    for (const Kept& one : shown) box.Show(one.text, one.caption, one.icon, one.buttons);
}

void OpenDatabase(CSQLDatabase& database, IMessageBox& box) { OpenDatabase(database, box, ProcessOdbcInstaller()); }

void OpenDatabase(CSQLDatabase& database, IMessageBox& box, OdbcInstaller& installer) {
    KeptMessageBoxes boxes;
    OpenUnderLock(database, boxes, installer);
    boxes.ShowOn(box);
}

void OpenDatabaseKeepingBoxes(CSQLDatabase& database, KeptMessageBoxes& boxes) {
    OpenUnderLock(database, boxes, ProcessOdbcInstaller());
}

bool ReopenDatabase(CSQLDatabase& database) {
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (!database.connected && !ConnectWithLogin(database)) return false;
    historyCounts.Open(true);
    CreateFixedTable(database, RtuTableCreation());
    CreateFixedTable(database, kFullRcdsCreation);
    CreateReadingsView(database);
    return true;
}
