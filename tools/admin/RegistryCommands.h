#pragma once

#include <string>
#include <vector>

class CSQLDatabase;
class ConsoleMessageBox;
struct AdminCommand;

// The registry commands on an open database, through the operations behind the window's RTU form,
// so they keep its unit-id rule, its 158 tables and its messages. `captions` are the form's row
// captions from "./data_rtu.ini": row 0 the unit id, row k the field RDATAk. Each returns the exit
// status (AdminExit).
int ListRegistry(const CSQLDatabase& database, const std::vector<std::string>& captions);
int AddRegistryRtu(CSQLDatabase& database, const AdminCommand& command, const std::vector<std::string>& captions,
                   ConsoleMessageBox& box);
// Starts from the stored fields, as the form does when an RTU is picked for editing.
int EditRegistryRtu(CSQLDatabase& database, const AdminCommand& command, const std::vector<std::string>& captions);
int DeleteRegistryRtu(CSQLDatabase& database, const AdminCommand& command, const std::vector<std::string>& captions,
                      ConsoleMessageBox& box);

// A text as one field of a tab-separated line: tabs, line ends and other control characters
// become "?".
std::string ListField(std::string text);
