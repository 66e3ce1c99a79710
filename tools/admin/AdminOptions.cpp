#include "tools/admin/AdminOptions.h"

#include <algorithm>
#include <vector>

const char* const kAdminUsage =
    "usage: telvorn-admin rtu list [--unregistered]\n"
    "       telvorn-admin rtu add UID --model N [FIELD OPTIONS]\n"
    "       telvorn-admin rtu edit UID FIELD OPTIONS\n"
    "       telvorn-admin rtu delete UID [--yes]\n"
    "\n"
    "Changes the RTU registry that telvorn and telvorn-headless serve, through the RTUDB data source\n"
    "(the SQLite file ~/rtu/RTU.db, or the PostgreSQL schema its entry names), with the rules and\n"
    "messages of the window's RTU form. Run it as the service's user in the service's working\n"
    "directory: it reads data_rtu.ini (database login, the form's rows) and Messages.ini there.\n"
    "\n"
    "  rtu list                 the registry, one RTU a line, fields separated by tabs; the first line\n"
    "                           holds the captions (the unit id's, then the form's rows)\n"
    "  rtu list --unregistered  the RTUs that report to the telvorn-headless running in this directory\n"
    "                           without being registered, as its HTTP endpoint lists them (/api/rtus):\n"
    "                           unit id, frames, peer, last report; a PASSWORD in [HTTP] is answered\n"
    "                           with the password in the environment variable TELVORN_HTTP_PASSWORD\n"
    "  rtu add UID              registers an RTU and creates its 158 channel tables; UID is the unit id\n"
    "                           the RTU sends, 1 to 8 decimal digits (0042 is stored as 42)\n"
    "  rtu edit UID             changes the fields given; the others keep their values\n"
    "  rtu delete UID           removes the RTU from the registry after asking (its channel tables\n"
    "                           and history stay); --yes does not ask\n"
    "\n"
    "Field options, named after the form's rows (registry field RDATAk):\n"
    "  --name TEXT        RDATA1         --installed TEXT   RDATA5\n"
    "  --site TEXT        RDATA2         --contact TEXT     RDATA6\n"
    "  --location TEXT    RDATA3         --model N          RDATA7, the model code (406, 407, 403, ...)\n"
    "  --sim-phone TEXT   RDATA4         --rdataK TEXT      RDATAk, k = 1 ... 12, whatever its caption\n"
    "A field past the form's rows (RDATACOUNTS in data_rtu.ini) is refused.\n"
    "\n"
    "After a change, a telvorn-headless running in this directory (its pid and its HTTP endpoint are in\n"
    "telvorn-headless.pid) is told to read the registry again (SIGHUP, as `systemctl reload\n"
    "telvorn-headless` does).\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  the registry refused the change: the message says why (the unit id rule, a unit id\n"
    "     registered already, a database error)\n"
    "  2  wrong usage, or no RTU form in ./data_rtu.ini (not the service's working directory)\n"
    "  3  the database could not be opened\n"
    "  4  no RTU with that unit id is registered (edit, delete)\n"
    "  5  the deletion was not confirmed\n"
    "  6  the change is stored, but the running telvorn-headless could not be told to reload it;\n"
    "     or (list --unregistered) its HTTP endpoint could not be asked\n"
    "Lists and the outcome go to standard output, refusals and other messages to standard error.\n";

namespace {

struct FieldOption {
    const char* name;
    int field;
};

// The captions of the form's rows in the shipped data_rtu.ini.
constexpr FieldOption kFieldOptions[] = {{"--name", 1},           {"--site", 2},      {"--location", 3},
                                         {"--sim-phone", 4},      {"--installed", 5}, {"--contact", 6},
                                         {"--model", kModelField}};
// RDATA1 ... RDATA12: the descriptive columns of RTU_TAB.
constexpr int kRegistryFields = 12;

std::optional<AdminVerb> VerbNamed(const std::string& word) {
    if (word == "list") return AdminVerb::kList;
    if (word == "add") return AdminVerb::kAdd;
    if (word == "edit") return AdminVerb::kEdit;
    if (word == "delete") return AdminVerb::kDelete;
    return std::nullopt;
}

// The registry field an option names, or 0.
int FieldNamed(const std::string& option) {
    for (const FieldOption& known : kFieldOptions)
        if (option == known.name) return known.field;
    const std::string prefix = "--rdata";
    if (option.rfind(prefix, 0) != 0 || option.size() == prefix.size() || option.size() > prefix.size() + 2) return 0;
    const std::string number = option.substr(prefix.size());
    if (number.find_first_not_of("0123456789") != std::string::npos || number[0] == '0') return 0;
    const int field = std::stoi(number);
    return field <= kRegistryFields ? field : 0;
}

bool IsDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The options and the unit id after the verb.
bool ParseRest(const std::vector<std::string>& args, AdminCommand& command, std::string& error) {
    bool haveUid = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        if (option.rfind("--", 0) != 0) {
            if (haveUid || command.verb == AdminVerb::kList) {
                error = "unexpected argument '" + option + "'";
                return false;
            }
            command.uid = option;
            haveUid = true;
            continue;
        }
        if (option == "--yes" && command.verb == AdminVerb::kDelete) {
            command.yes = true;
            continue;
        }
        if (option == "--unregistered" && command.verb == AdminVerb::kList) {
            command.unregistered = true;
            continue;
        }
        std::optional<std::string> value;
        if (const std::size_t equals = option.find('='); equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.erase(equals);
        }
        const int field = FieldNamed(option);
        if (field == 0 || (command.verb != AdminVerb::kAdd && command.verb != AdminVerb::kEdit)) {
            error = "unknown option '" + option + "' for this command";
            return false;
        }
        if (!value && i + 1 == args.size()) {
            error = option + " needs a value";
            return false;
        }
        command.fields[field] = value ? *value : args[++i];
    }
    if (!haveUid && command.verb != AdminVerb::kList) {
        error = "the unit id is missing";
        return false;
    }
    return true;
}

bool Validate(const AdminCommand& command, std::string& error) {
    const auto model = command.fields.find(kModelField);
    if (command.verb == AdminVerb::kAdd && model == command.fields.end()) {
        error = "an RTU is added with its model: --model N";
        return false;
    }
    if (model != command.fields.end() && !IsDigits(model->second)) {
        error = "--model takes the model code, decimal digits such as 406";
        return false;
    }
    if (command.verb == AdminVerb::kEdit && command.fields.empty()) {
        error = "nothing to change: give at least one field option";
        return false;
    }
    return true;
}

}  // namespace

std::optional<AdminCommand> ParseAdminArguments(int argc, const char* const* argv, std::string& error) {
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    AdminCommand command;
    if (args.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") return command;
    if (args[0] != "rtu") {
        error = "unknown command '" + args[0] + "'";
        return std::nullopt;
    }
    const std::optional<AdminVerb> verb = args.size() > 1 ? VerbNamed(args[1]) : std::nullopt;
    if (!verb) {
        error = "rtu takes list, add, edit or delete";
        return std::nullopt;
    }
    command.verb = *verb;
    if (!ParseRest(std::vector<std::string>(args.begin() + 2, args.end()), command, error) || !Validate(command, error))
        return std::nullopt;
    return command;
}
