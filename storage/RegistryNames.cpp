#include "storage/RegistryNames.h"

void RegistryNames::Note(const std::vector<RegistryRow>& rows) {
    std::map<std::string, std::string, std::less<>> read;
    for (const RegistryRow& row : rows) read.emplace(row[0], row[1]);
    std::lock_guard guard(lock);
    names.swap(read);
}

std::string RegistryNames::Name(std::string_view uidText) const {
    std::lock_guard guard(lock);
    const auto found = names.find(uidText);
    return found == names.end() ? std::string() : found->second;
}

RegistryNames& ProcessRegistryNames() {
    static RegistryNames names;
    return names;
}
