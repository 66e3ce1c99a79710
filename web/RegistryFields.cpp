#include "web/RegistryFields.h"

void RegistryFields::Replace(const std::vector<RegistryRow>& rows) {
    auto fields = std::make_shared<ByUnitId>();
    for (const RegistryRow& row : rows) {
        Fields& filled = (*fields)[row[0]];
        for (std::size_t j = 1; j < row.size(); ++j) {
            if (!row[j].empty()) filled["RDATA" + std::to_string(j)] = row[j];
        }
    }
    std::lock_guard guard(lock);
    current = std::move(fields);
}

std::shared_ptr<const RegistryFields::ByUnitId> RegistryFields::Current() const {
    std::lock_guard guard(lock);
    return current;
}
