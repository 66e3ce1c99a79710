#include <csignal>
#include <cstdio>
#include <iostream>

#include "tools/rtusim/SimRunner.h"

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

void requestStop(int) { stopRequested.store(true); }

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    const rtusim::ParsedOptions parsed = rtusim::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(rtusim::helpText(), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "rtusim: %s (see rtusim --help)\n", parsed.error.c_str());
        return 2;
    }
    const rtusim::SimOptions& options = *parsed.options;
    const std::optional<rtusim::PeerAddress> peer = rtusim::resolvePeer(options);
    if (!peer) {
        std::fprintf(stderr, "rtusim: cannot resolve host %s\n", options.host.c_str());
        return 2;
    }
    if (!options.recordPath.empty()) {
        std::FILE* record = std::fopen(options.recordPath.c_str(), "w");
        if (!record) {
            std::fprintf(stderr, "rtusim: cannot write %s\n", options.recordPath.c_str());
            return 2;
        }
        std::fclose(record);
    }
    installStopHandlers();
    const rtusim::RunResult result = rtusim::runSimulation(options, *peer, stopRequested, std::cerr);
    std::cout << rtusim::summaryJson(result.stats, options.connections, result.elapsedSeconds) << std::endl;
    return result.stats.passed() ? 0 : 1;
}
