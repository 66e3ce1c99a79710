#pragma once

#include <sstream>
#include <string>
#include <vector>

// A command line as the words a shell would pass (no quoting needed by these tests).
inline std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> result;
    for (std::string word; in >> word;) result.push_back(word);
    return result;
}
