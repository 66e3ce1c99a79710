#include "tools/admin/UnregisteredList.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "platform/profile/IniFiles.h"
#include "tools/admin/AdminExit.h"
#include "tools/admin/RegistryCommands.h"
#include "tools/admin/ServiceReload.h"
#include "web/HttpSettings.h"

namespace {

constexpr const char* kPasswordVariable = "TELVORN_HTTP_PASSWORD";
// The endpoint answers from memory at once; this only bounds a stalled service.
constexpr long kAnswerLimitSeconds = 20;

struct Reply {
    long status = 0;
    std::string body;
    std::string error;  // empty when an answer came
};

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// The endpoint's address as the service gives it, a wildcard one reached through loopback.
std::string ReachableUrl(std::string url) {
    for (const auto& [wildcard, loopback] : {std::pair{"://0.0.0.0:", "://127.0.0.1:"}, {"://[::]:", "://[::1]:"}}) {
        const std::size_t at = url.find(wildcard);
        if (at != std::string::npos) url.replace(at, std::string(wildcard).size(), loopback);
    }
    return url + "/api/rtus";
}

Reply Fetch(const std::string& url, const HttpSettings& settings, const char* password) {
    Reply reply;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return {0, {}, "libcurl could not start"};
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kAnswerLimitSeconds);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    if (!settings.certFile.empty()) {
        // The service's own certificate is the one trusted, so its name need not be the address
        // reached here (a wildcard listener through loopback).
        curl_easy_setopt(curl, CURLOPT_CAINFO, settings.certFile.c_str());
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (password != nullptr) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERNAME, settings.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password);
    }
    const CURLcode result = curl_easy_perform(curl);
    if (result != CURLE_OK) reply.error = error[0] != '\0' ? error : curl_easy_strerror(result);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_cleanup(curl);
    return reply;
}

// The answer's unregistered units as lines; false when it is not the endpoint's list.
bool PrintUnregistered(const std::string& body, const std::string& uidCaption) {
    const nlohmann::json rtus = nlohmann::json::parse(body, nullptr, false);
    if (!rtus.is_array()) return false;
    std::printf("%s\tFrames\tPeer\tLast report\n", ListField(uidCaption).c_str());
    for (const nlohmann::json& rtu : rtus) {
        if (!rtu.is_object()) continue;
        // A field that is missing, null or of another type reads as empty.
        auto text = [&rtu](const char* key) {
            const nlohmann::json value = rtu.value(key, nlohmann::json());
            return value.is_string() ? value.get<std::string>() : std::string();
        };
        if (text("state") != "unregistered") continue;
        const nlohmann::json frames = rtu.value("frames", nlohmann::json());
        std::printf("%s\t%llu\t%s\t%s\n", ListField(text("uid")).c_str(),
                    frames.is_number_unsigned() ? frames.get<unsigned long long>() : 0ULL,
                    ListField(text("peer")).c_str(), ListField(text("last_report")).c_str());
    }
    return true;
}

}  // namespace

int ListUnregistered(const std::string& uidCaption) {
    const std::optional<PidFileContents> service = RunningService();
    if (!service) {
        std::fprintf(stderr,
                     "No telvorn-headless runs in this directory (no live pid in %s): only the running service "
                     "knows which RTUs report unregistered.\n",
                     kServicePidFile);
        return kExitServiceUnreached;
    }
    if (service->endpointUrl.empty()) {
        std::fprintf(stderr,
                     "The telvorn-headless running here (pid %d) serves no monitoring endpoint (LISTEN in [HTTP] of "
                     "%s), through which alone it tells which RTUs report unregistered.\n",
                     static_cast<int>(service->pid), kDataIniPath);
        return kExitServiceUnreached;
    }
    // The certificate and the user as the service reads them.
    const HttpSettings settings = ReadHttpSettings();
    const char* password = nullptr;
    if (!settings.passwordHash.empty()) {
        password = std::getenv(kPasswordVariable);
        if (password == nullptr) {
            std::fprintf(stderr,
                         "The monitoring endpoint asks for the password of %s (PASSWORD in [HTTP]): give it in the "
                         "environment variable %s.\n",
                         settings.user.c_str(), kPasswordVariable);
            return kExitServiceUnreached;
        }
    }
    const std::string url = ReachableUrl(service->endpointUrl);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const Reply reply = Fetch(url, settings, password);
    curl_global_cleanup();
    if (!reply.error.empty() || reply.status != 200) {
        std::fprintf(stderr, "No list of RTUs from a running telvorn-headless at %s: %s\n", url.c_str(),
                     !reply.error.empty()  ? reply.error.c_str()
                     : reply.status == 401 ? "the password was refused"
                                           : ("HTTP status " + std::to_string(reply.status)).c_str());
        return kExitServiceUnreached;
    }
    if (!PrintUnregistered(reply.body, uidCaption)) {
        std::fprintf(stderr, "%s did not answer with the list of RTUs.\n", url.c_str());
        return kExitServiceUnreached;
    }
    return kExitDone;
}
