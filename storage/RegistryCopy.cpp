#include "storage/RegistryCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "storage/OdbcInstaller.h"

namespace {

constexpr const char* kHeading = "Telvorn registry copy 1";
constexpr const char* kEnd = "end ";

std::string Escaped(const std::string& field) {
    std::string text;
    for (const char c : field) {
        switch (c) {
            case '\\':
                text += "\\\\";
                break;
            case '\t':
                text += "\\t";
                break;
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            default:
                text += c;
        }
    }
    return text;
}

// One line into its fields; false when it has the wrong number of fields or a stray backslash.
bool ParseRow(const std::string& line, RegistryRow& row) {
    std::size_t field = 0;
    row[0].clear();
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            if (++field == row.size()) return false;
            row[field].clear();
            continue;
        }
        if (c != '\\') {
            row[field] += c;
            continue;
        }
        if (++i == line.size()) return false;
        const char escaped = line[i];
        if (escaped == '\\')
            row[field] += '\\';
        else if (escaped == 't')
            row[field] += '\t';
        else if (escaped == 'r')
            row[field] += '\r';
        else if (escaped == 'n')
            row[field] += '\n';
        else
            return false;
    }
    return field + 1 == row.size();
}

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// Written and flushed to the disk before it replaces the copy.
bool WriteWhole(const std::filesystem::path& path, const std::string& text, std::string& error) {
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        error = SystemError("cannot create " + path.string());
        return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(file, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const bool whole = written == text.size() && ::fsync(file) == 0;
    if (!whole) error = SystemError("cannot write " + path.string());
    ::close(file);
    return whole;
}

}  // namespace

std::filesystem::path RegistryCopyPath() { return std::string("./") + kDataSourceName + "-registry.txt"; }

bool SaveRegistryCopy(const std::filesystem::path& path, const std::vector<RegistryRow>& rows, std::string& error) {
    std::string text = std::string(kHeading) + "\n";
    for (const RegistryRow& row : rows) {
        for (std::size_t field = 0; field < row.size(); ++field) text += (field ? "\t" : "") + Escaped(row[field]);
        text += "\n";
    }
    text += kEnd + std::to_string(rows.size()) + "\n";
    std::filesystem::path fresh = path;
    fresh += ".new";
    if (!WriteWhole(fresh, text, error)) {
        ::unlink(fresh.c_str());
        return false;
    }
    if (::rename(fresh.c_str(), path.c_str()) != 0) {
        error = SystemError("cannot replace " + path.string());
        ::unlink(fresh.c_str());
        return false;
    }
    return true;
}

std::optional<std::vector<RegistryRow>> LoadRegistryCopy(const std::filesystem::path& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = SystemError("cannot read " + path.string());
        return std::nullopt;
    }
    std::string line;
    if (!std::getline(file, line) || line != kHeading) {
        error = path.string() + " is not a registry copy";
        return std::nullopt;
    }
    std::vector<RegistryRow> rows;
    while (std::getline(file, line)) {
        if (line.rfind(kEnd, 0) == 0 && line == kEnd + std::to_string(rows.size())) {
            if (std::getline(file, line)) break;
            return rows;
        }
        RegistryRow row;
        if (!ParseRow(line, row)) break;
        rows.push_back(std::move(row));
    }
    error = path.string() + " is not whole";
    return std::nullopt;
}
