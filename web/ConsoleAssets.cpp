#include "web/ConsoleAssets.h"

#include <array>
#include <vector>

#include "ConsoleAssetSymbols.inc"

namespace {

struct EmbeddedFile {
    const char* name;
    const char* begin;
    const char* end;
};

constexpr EmbeddedFile kFiles[] = {
#include "ConsoleAssetTable.inc"
};

std::string_view ContentType(std::string_view name) {
    const auto endsWith = [name](std::string_view suffix) {
        return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
    };
    if (endsWith(".html")) return "text/html; charset=utf-8";
    if (endsWith(".css")) return "text/css; charset=utf-8";
    if (endsWith(".js")) return "text/javascript; charset=utf-8";
    return "application/octet-stream";
}

std::vector<ConsoleAsset> MakeAssets() {
    std::vector<ConsoleAsset> assets;
    for (const EmbeddedFile& file : kFiles) {
        assets.push_back({file.name, ContentType(file.name),
                          std::string_view(file.begin, static_cast<std::size_t>(file.end - file.begin))});
    }
    return assets;
}

}  // namespace

const ConsoleAsset* FindConsoleAsset(std::string_view name) {
    static const std::vector<ConsoleAsset> assets = MakeAssets();
    for (const ConsoleAsset& asset : assets) {
        if (asset.name == name) return &asset;
    }
    return nullptr;
}
