#include "ui/DatabaseStartup.h"

#include <memory>
#include <vector>

#include "core/RtuTable.h"
#include "platform/profile/IniFileReader.h"
#include "storage/HistoryRecorder.h"
#include "storage/RtuRegistry.h"
#include "ui/PageRtuList.h"
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

void LoadRtuRegistry(CSQLDatabase& database, CPageRtuList& page) {
    page.ShowRegistryRows(LoadRegistry(database, LiveRtuTable()));
}

IHistoryWriter* StartupHistoryWriter(CSQLDatabase& database) {
    // The server may hand a reading to its writer until the process ends, so writers are never freed.
    static std::vector<std::unique_ptr<CHistoryRecorder>> writers;
    writers.push_back(std::make_unique<CHistoryRecorder>(&database));
    return writers.back().get();
}
