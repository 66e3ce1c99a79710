#include "tools/admin/RegistryCommands.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/profile/IniFiles.h"
#include "storage/RtuRegistry.h"
#include "tools/admin/AdminExit.h"
#include "tools/admin/AdminOptions.h"
#include "tools/admin/ConsoleMessageBox.h"

namespace {

// The form's rows as the registry operations read them.
class FormRows final : public IRtuInputRows {
public:
    explicit FormRows(std::vector<std::string> texts) : texts(std::move(texts)) {}
    int RowCount() const override { return static_cast<int>(texts.size()); }
    std::string RowText(int row) const override { return texts.at(static_cast<std::size_t>(row)); }

private:
    std::vector<std::string> texts;
};

std::string TrimBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Every field given must be a row of the form, or the window could never have written it.
bool FieldsFitTheForm(const AdminCommand& command, std::size_t rows) {
    for (const auto& [field, text] : command.fields) {
        if (static_cast<std::size_t>(field) < rows) continue;
        std::fprintf(stderr, "Field RDATA%d is not a row of the RTU form: RDATACOUNTS is %zu in %s.\n", field, rows,
                     kDataIniPath);
        return false;
    }
    return true;
}

// The stored row of a unit id as typed: the exact text first, then as an add stores it (0042 is 42).
std::optional<RegistryRow> FindRegistered(const CSQLDatabase& database, const std::string& typed, bool& readWhole) {
    const std::vector<RegistryRow> rows = ReadRegistry(database, &readWhole);
    const std::string stored = NormaliseUnitId(TrimBlanks(typed));
    for (const std::string& wanted : {typed, stored}) {
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const RegistryRow& r) { return r[0] == wanted; });
        if (row != rows.end()) return *row;
    }
    return std::nullopt;
}

// Edit and delete find their RTU first, and say why when there is none.
std::optional<RegistryRow> RegisteredOrSaid(const CSQLDatabase& database, const std::string& typed, int& status) {
    bool readWhole = false;
    std::optional<RegistryRow> row = FindRegistered(database, typed, readWhole);
    if (row) return row;
    if (!readWhole) {
        std::fprintf(stderr, "The registry could not be read from the database.\n");
        status = kExitRefused;
    } else {
        std::fprintf(stderr, "No RTU with unit id %s is registered.\n", typed.c_str());
        status = kExitNoSuchRtu;
    }
    return std::nullopt;
}

}  // namespace

std::string ListField(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text;
}

int ListRegistry(const CSQLDatabase& database, const std::vector<std::string>& captions) {
    bool readWhole = false;
    const std::vector<RegistryRow> rows = ReadRegistry(database, &readWhole);
    // The list shows the first RDATACOUNTS of the 13 columns a row holds, as the RTU list page does.
    const std::size_t columns = std::min(captions.size(), std::tuple_size_v<RegistryRow>);
    auto printLine = [columns](auto&& cell) {
        std::string line;
        for (std::size_t c = 0; c < columns; ++c) line += (c ? "\t" : "") + ListField(cell(c));
        std::printf("%s\n", line.c_str());
    };
    printLine([&](std::size_t c) { return captions[c]; });
    for (const RegistryRow& row : rows) printLine([&](std::size_t c) { return row[c]; });
    std::fflush(stdout);
    if (readWhole) return kExitDone;
    std::fprintf(stderr, "The registry could not be read whole from the database.\n");
    return kExitRefused;
}

int AddRegistryRtu(CSQLDatabase& database, const AdminCommand& command, const std::vector<std::string>& captions,
                   ConsoleMessageBox& box) {
    if (!FieldsFitTheForm(command, captions.size())) return kExitUsage;
    std::vector<std::string> texts(captions.size());
    texts[0] = command.uid;
    for (const auto& [field, text] : command.fields) texts[static_cast<std::size_t>(field)] = text;
    if (!AddRtu(database, FormRows(texts), box)) {
        PrintMessageText(stderr, kErrorsSection, "ADD_RTU_ERR");
        return kExitRefused;
    }
    PrintMessageText(stdout, kSuccessSection, "ADD_RTU_OK");
    return kExitDone;
}

int EditRegistryRtu(CSQLDatabase& database, const AdminCommand& command, const std::vector<std::string>& captions) {
    if (!FieldsFitTheForm(command, captions.size())) return kExitUsage;
    int status = kExitDone;
    const std::optional<RegistryRow> row = RegisteredOrSaid(database, command.uid, status);
    if (!row) return status;
    std::vector<std::string> texts(captions.size());
    for (std::size_t k = 0; k < texts.size() && k < row->size(); ++k) texts[k] = (*row)[k];
    for (const auto& [field, text] : command.fields) texts[static_cast<std::size_t>(field)] = text;
    if (!EditRtu(database, FormRows(texts))) {
        PrintMessageText(stderr, kErrorsSection, "EDIT_RTU_ERR");
        return kExitRefused;
    }
    PrintMessageText(stdout, kSuccessSection, "EDIT_RTU_OK");
    return kExitDone;
}

int DeleteRegistryRtu(CSQLDatabase& database, const AdminCommand& command, const std::vector<std::string>& captions,
                      ConsoleMessageBox& box) {
    int status = kExitDone;
    const std::optional<RegistryRow> row = RegisteredOrSaid(database, command.uid, status);
    if (!row) return status;
    std::vector<std::string> texts(captions.size());
    texts[0] = (*row)[0];
    if (DeleteRtu(database, FormRows(texts), box)) {
        std::printf("RTU %s deleted from the registry; its channel tables and history stay.\n", (*row)[0].c_str());
        return kExitDone;
    }
    if (box.Declined()) {
        std::printf("Nothing deleted.\n");
        return kExitNotConfirmed;
    }
    std::fprintf(stderr, "RTU %s could not be deleted.\n", (*row)[0].c_str());
    return kExitRefused;
}
