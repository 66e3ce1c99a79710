#pragma once

#include <map>
#include <optional>
#include <string>

enum class AdminVerb { kHelp, kList, kAdd, kEdit, kDelete };

// One command line of telvorn-admin.
struct AdminCommand {
    AdminVerb verb = AdminVerb::kHelp;
    std::string uid;                    // as typed
    std::map<int, std::string> fields;  // registry field k (RDATAk) and its new text
    bool yes = false;                   // delete without asking
    bool unregistered = false;          // list the RTUs that report without being registered
};

// The registry field of the model code, the one field an added RTU must have.
inline constexpr int kModelField = 7;

// The command, or none with `error` saying what is wrong with the arguments.
std::optional<AdminCommand> ParseAdminArguments(int argc, const char* const* argv, std::string& error);

// The --help text: commands, field options, exit status.
extern const char* const kAdminUsage;
