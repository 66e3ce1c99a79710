// ./run.sh on a machine without a display, as the README's first command: it runs telvorn-headless
// in its working directory and stops it, and everything else it started, on a signal.
#include "tests/storage/StorageFixture.h"

#include <dirent.h>
#include <signal.h>

#include <set>

#include "tests/support/ChildProcess.h"
#include "tests/support/WaitUntil.h"

namespace {

// The processes descended from `root`, from the parent pids in /proc.
std::set<pid_t> Descendants(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> parents;  // pid, parent
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
            const std::string stat = ReadFile(std::string("/proc/") + entry->d_name + "/stat");
            const std::size_t close = stat.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream fields(stat.substr(close + 2));
            char state = 0;
            pid_t parent = 0;
            fields >> state >> parent;
            parents.emplace_back(static_cast<pid_t>(std::stol(entry->d_name)), parent);
        }
        closedir(proc);
    }
    std::set<pid_t> found{root};
    for (std::size_t before = 0; before != found.size();) {
        before = found.size();
        for (const auto& [pid, parent] : parents)
            if (found.count(parent) != 0) found.insert(pid);
    }
    found.erase(root);
    return found;
}

// Gone, or a zombie nobody has reaped yet: either way it holds no port.
bool Gone(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || stat.substr(close + 2, 1) == "Z";
}

// A failed test still ends what run.sh started: the program holds the output pipe the test reads.
class EndsLeftovers {
public:
    explicit EndsLeftovers(pid_t root) : root(root) {}
    ~EndsLeftovers() {
        for (pid_t pid : Descendants(root)) kill(pid, SIGKILL);
        for (pid_t pid : started)
            if (!Gone(pid)) kill(pid, SIGKILL);
    }
    std::set<pid_t> started;

private:
    pid_t root;
};

class RunScriptTest : public StorageTest, public ::testing::WithParamInterface<int> {};

TEST_P(RunScriptTest, WithoutADisplayRunsTheServiceAndStopsAllItStarted) {
    const std::filesystem::path workDirectory = home_ / "telvorn";
    std::filesystem::create_directories(workDirectory);
    std::ofstream(workDirectory / "data_rtu.ini")
        << DatabaseSettings() << "[SYSCONFIG]\nPORT=0\n[HTTP]\nLISTEN=127.0.0.1:0\n";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("TELVORN_BUILD_DIR", TELVORN_BUILD_DIR, 1);

    ChildProcess run("/bin/bash", {TELVORN_SOURCE_DIR "/run.sh", "--no-build", workDirectory.string()});
    EndsLeftovers leftovers(run.Pid());
    ASSERT_TRUE(run.WaitForOutput("== No display: running telvorn-headless, the service without a window, in " +
                                  workDirectory.string()));
    ASSERT_TRUE(run.WaitForOutput("== web console: http://127.0.0.1:"));
    EXPECT_TRUE(std::filesystem::exists(workDirectory / "Messages.ini")) << "the default INI files are copied";
    leftovers.started = Descendants(run.Pid());
    EXPECT_FALSE(leftovers.started.empty());

    EXPECT_EQ(run.StopWith(GetParam()), 0);
    for (pid_t pid : leftovers.started)
        EXPECT_TRUE(WaitUntil([pid] { return Gone(pid); })) << "pid " << pid << " left running";
}

INSTANTIATE_TEST_SUITE_P(Signals, RunScriptTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return std::string(info.param == SIGTERM ? "Term" : "Interrupt"); });

}  // namespace
