#include "storage/FailingTables.h"

bool FailingTables::Failed(const std::string& table) {
    std::lock_guard lock(mutex_);
    Record& record = tables_[table];
    any_.store(true, std::memory_order_relaxed);
    const auto now = std::chrono::steady_clock::now();
    if (record.tries++ == 0) record.first = now;
    if (record.settingAside || record.tries < kTries || now - record.first < kFailingFor) return false;
    record.settingAside = true;
    return true;
}

bool FailingTables::Known(const std::string& table) const {
    if (!any_.load(std::memory_order_relaxed)) return false;
    std::lock_guard lock(mutex_);
    return tables_.count(table) != 0;
}

bool FailingTables::SettingAside(const std::string& table) const {
    if (!any_.load(std::memory_order_relaxed)) return false;
    std::lock_guard lock(mutex_);
    const auto it = tables_.find(table);
    return it != tables_.end() && it->second.settingAside;
}

void FailingTables::CountSetAside(const std::string& table) {
    std::lock_guard lock(mutex_);
    ++tables_[table].setAside;
    any_.store(true, std::memory_order_relaxed);
}

std::int64_t FailingTables::Stored(const std::string& table) {
    if (!any_.load(std::memory_order_relaxed)) return -1;
    std::lock_guard lock(mutex_);
    const auto it = tables_.find(table);
    if (it == tables_.end()) return -1;
    const std::int64_t setAside = it->second.settingAside ? it->second.setAside : -1;
    tables_.erase(it);
    any_.store(!tables_.empty(), std::memory_order_relaxed);
    return setAside;
}

void FailingTables::Forget() {
    std::lock_guard lock(mutex_);
    tables_.clear();
    any_.store(false, std::memory_order_relaxed);
}

std::vector<std::string> FailingTables::Names() const {
    std::vector<std::string> names;
    if (!any_.load(std::memory_order_relaxed)) return names;
    std::lock_guard lock(mutex_);
    for (const auto& [table, record] : tables_)
        if (record.settingAside) names.push_back(table);
    return names;
}
