#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "storage/RtuRegistry.h"

// The registry's descriptive fields by unit id, for the console: the live table keeps only an RTU's
// unit id and model, while an engineer looks for its name and site.
// Threads: Replace on the program's main thread at each registry reload; Current on any thread.
class RegistryFields {
public:
    // Field name ("RDATA1") to the text an operator filled in; empty fields are left out.
    using Fields = std::map<std::string, std::string>;
    using ByUnitId = std::map<std::string, Fields>;

    void Replace(const std::vector<RegistryRow>& rows);
    // The fields as of the last reload; a reader keeps its copy while a reload replaces it.
    std::shared_ptr<const ByUnitId> Current() const;

private:
    mutable std::mutex lock;
    std::shared_ptr<const ByUnitId> current = std::make_shared<const ByUnitId>();
};
