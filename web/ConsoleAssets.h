#pragma once

#include <string_view>

// One file of the web console (a page, its style sheet, a script, Chart.js), embedded at build time.
struct ConsoleAsset {
    std::string_view name;  // "index.html", "fleet.js", "chart.min.js"
    std::string_view contentType;
    std::string_view body;
};

// The file of that name, or null.
const ConsoleAsset* FindConsoleAsset(std::string_view name);
