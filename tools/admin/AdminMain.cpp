// telvorn-admin: the RTU registry from a shell, for a server without a display. Reads the INI files
// of the current directory as telvorn-headless does, opens the RTUDB data source as the window does,
// changes the registry through the operations behind the window's RTU form, then tells the
// telvorn-headless running in this directory to read the registry again. Which RTUs report
// unregistered only that service knows: they are asked of its monitoring endpoint.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile/IniFiles.h"
#include "platform/profile/ProfileSettings.h"
#include "storage/OpenDatabase.h"
#include "storage/sql/SQLDatabase.h"
#include "tools/admin/AdminExit.h"
#include "tools/admin/AdminOptions.h"
#include "tools/admin/ConsoleMessageBox.h"
#include "tools/admin/RegistryCommands.h"
#include "tools/admin/ServiceReload.h"
#include "tools/admin/UnregisteredList.h"

namespace {

int RunOnDatabase(const AdminCommand& command, const std::vector<std::string>& captions) {
    ConsoleMessageBox box(command.yes);
    CSQLDatabase database;
    OpenDatabase(database, box);
    if (!database.connected) return kExitNoDatabase;
    int status = kExitDone;
    switch (command.verb) {
        case AdminVerb::kList:
            return ListRegistry(database, captions);
        case AdminVerb::kAdd:
            status = AddRegistryRtu(database, command, captions, box);
            break;
        case AdminVerb::kEdit:
            status = EditRegistryRtu(database, command, captions);
            break;
        case AdminVerb::kDelete:
            status = DeleteRegistryRtu(database, command, captions, box);
            break;
        case AdminVerb::kHelp:
            break;
    }
    return status == kExitDone ? ReloadRunningService() : status;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<AdminCommand> command = ParseAdminArguments(argc, argv, error);
    if (!command) {
        std::fprintf(stderr, "telvorn-admin: %s (telvorn-admin --help tells more)\n", error.c_str());
        return kExitUsage;
    }
    if (command->verb == AdminVerb::kHelp) {
        std::fputs(kAdminUsage, stdout);
        return kExitDone;
    }
    const std::vector<std::string> captions = ReadRtuColumnCaptions();
    if (captions.empty()) {
        std::fprintf(stderr,
                     "telvorn-admin: %s has no RTU form (RDATACOUNTS of [RTU]): run it in the working directory of "
                     "telvorn-headless, where its INI files are.\n",
                     kDataIniPath);
        return kExitUsage;
    }
    const int status = command->unregistered ? ListUnregistered(captions[0]) : RunOnDatabase(*command, captions);
    std::fflush(nullptr);
    return status;
}
