#include "ui/DatabaseStartup.h"

#include "platform/profile/IniFileReader.h"
#include "ui/StartupSettings.h"
#include "ui/UiText.h"

namespace {
const char* const kDataSourceName = "RTUDB";
}  // namespace

void OpenTelvornDatabase(CSQLDatabase& database, IMessageBox& messageBox) {
    DatabaseLogin login = ReadDatabaseLogin();
    IniFileReader messages(kMessagesIniPath);
    if (database.Connect(kDataSourceName, login.user, login.password)) {
        messageBox.Show(messages.readValue("SUCCESS", "OPEN_DB_OK"), "", MessageIcon::Information, MessageButtons::Ok);
    } else {
        messageBox.Show(messages.readValue("ERRORS", "OPEN_DB_ERR"), "", MessageIcon::Stop, MessageButtons::Ok);
    }
}

void LoadRtuRegistry(CSQLDatabase&, CPageRtuList&) {}

IHistoryWriter* StartupHistoryWriter(CSQLDatabase&) { return nullptr; }
