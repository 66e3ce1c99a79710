#include "web/HttpSettings.h"

#include <arpa/inet.h>

#include <cstdint>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"

namespace {

constexpr const char* kHttpSection = "HTTP";

// A value's trailing "; comment", as the shipped data_rtu.ini writes them beside each key. A crypt
// hash never holds a ";", so only a path could lose text to this, and only after a blank.
std::string WithoutComment(std::string value) {
    const std::size_t comment = value.find(';');
    if (comment != std::string::npos && (comment == 0 || value[comment - 1] == ' ' || value[comment - 1] == '\t')) {
        value.erase(comment);
    }
    const std::size_t last = value.find_last_not_of(" \t");
    value.erase(last == std::string::npos ? 0 : last + 1);
    return value;
}

bool IsCryptHash(const std::string& text) {
    // "$id$...": SHA-512 ($6$), SHA-256 ($5$), yescrypt ($y$), gost-yescrypt ($gy$), bcrypt ($2b$...).
    return text.size() > 4 && text[0] == '$' && text.find('$', 1) != std::string::npos;
}

}  // namespace

HttpSettings ReadHttpSettings() {
    const IniFileReader data(kDataIniPath);
    HttpSettings settings;
    if (auto listen = data.readValueIfPresent(kHttpSection, "LISTEN")) settings.listen = WithoutComment(*listen);
    settings.user = WithoutComment(data.readValue(kHttpSection, "USER"));
    settings.passwordHash = WithoutComment(data.readValue(kHttpSection, "PASSWORD"));
    settings.certFile = WithoutComment(data.readValue(kHttpSection, "CERT"));
    settings.keyFile = WithoutComment(data.readValue(kHttpSection, "KEY"));
    if (auto stale = data.readValueIfPresent(kHttpSection, "STALE")) {
        const int seconds = ParseIniNumber(*stale);
        if (seconds > 0) settings.staleSeconds = seconds;
    }
    return settings;
}

bool SplitListen(const std::string& listen, std::string& address, int& port) {
    const std::size_t colon = listen.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= listen.size()) return false;
    address = listen.substr(0, colon);
    if (address.front() == '[') {
        if (address.size() < 3 || address.back() != ']') return false;
        address = address.substr(1, address.size() - 2);
    }
    const std::string portText = listen.substr(colon + 1);
    if (portText.find_first_not_of("0123456789") != std::string::npos || portText.size() > 5) return false;
    port = std::stoi(portText);
    if (port > 65535) return false;
    in_addr v4{};
    in6_addr v6{};
    return address == "localhost" || inet_pton(AF_INET, address.c_str(), &v4) == 1 ||
           inet_pton(AF_INET6, address.c_str(), &v6) == 1;
}

bool IsLoopbackAddress(const std::string& address) {
    if (address == "localhost") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::string RefusalReason(const HttpSettings& settings) {
    std::string address;
    int port = 0;
    if (!SplitListen(settings.listen, address, port)) {
        return "LISTEN=" + settings.listen + " is not address:port";
    }
    if (!settings.passwordHash.empty() && !IsCryptHash(settings.passwordHash)) {
        return "PASSWORD must be a crypt(3) hash such as openssl passwd -6 prints, not the password itself";
    }
    if (settings.certFile.empty() != settings.keyFile.empty()) {
        return "CERT and KEY must be set together";
    }
    if (!IsLoopbackAddress(address) && (settings.passwordHash.empty() || settings.certFile.empty())) {
        return "LISTEN=" + settings.listen + " is not a loopback address, which needs both PASSWORD and CERT/KEY";
    }
    return {};
}
