#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// A program of ours (the window or telvorn-headless) run as a child process in the current
// directory, its standard output and error collected line by line.
class ChildProcess {
public:
    // readOutput false: nobody reads the child's standard output until ReadOutput() is called.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments, bool readOutput = true) {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> raw;
        for (std::string& argument : argv) {
            raw.push_back(argument.data());
        }
        raw.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            // The program gets the three standard descriptors only: a listening socket left open by
            // whatever started the tests must never pass for the program's own.
            close_range(3, ~0U, 0);
            execv(raw[0], raw.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        outRead = out[0];
        if (readOutput) ReadOutput();
        readers.emplace_back([this, fd = err[0]] { Collect(fd, errLines); });
    }

    void ReadOutput() {
        if (outRead < 0) return;
        readers.emplace_back([this, fd = outRead] { Collect(fd, outLines); });
        outRead = -1;
    }

    // Reads the first `bytes` of the unread standard output and closes it, as `head -c` does once it
    // has its fill: every later write of the child meets a pipe without a reader.
    void CloseOutputAfter(std::size_t bytes) {
        char buffer[4096];
        for (std::size_t got = 0; got < bytes && outRead >= 0;) {
            const ssize_t n = read(outRead, buffer, std::min(sizeof buffer, bytes - got));
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (outRead >= 0) close(outRead);
        outRead = -1;
    }

    ~ChildProcess() {
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (outRead >= 0) close(outRead);
        for (std::thread& reader : readers) {
            reader.join();
        }
    }

    // Waits (bounded) for an output line containing text.
    bool WaitForOutput(const std::string& text) { return WaitForLine(outLines, text); }
    bool WaitForError(const std::string& text) { return WaitForLine(errLines, text); }

    std::vector<std::string> Output() {
        std::lock_guard guard(lock);
        return outLines;
    }
    std::vector<std::string> Errors() {
        std::lock_guard guard(lock);
        return errLines;
    }

    // Sends the signal and waits (bounded) for the exit; the exit status, or -1.
    int StopWith(int signal) {
        kill(pid, signal);
        for (int waited = 0; waited < 30000; waited += 10) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    int WaitExit() { return StopWith(0); }
    void Signal(int signal) const { kill(pid, signal); }
    pid_t Pid() const { return pid; }

    // The TCP port the process listens on, found through its socket descriptors; 0 if none.
    // `other` names a listening port to pass over.
    std::uint16_t ListeningPort(std::uint16_t other = 0) const {
        std::set<std::string> inodes = SocketInodes("/proc/" + std::to_string(pid) + "/fd");
        // Until the child has exec'd, its descriptors are copies of this process's: none of those
        // is the program's listener.
        for (const std::string& own : SocketInodes("/proc/self/fd")) inodes.erase(own);
        std::ifstream table("/proc/" + std::to_string(pid) + "/net/tcp");
        std::string line;
        std::getline(table, line);
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
            if (state == "0A" && inodes.count(inode) != 0) {
                const auto port =
                    static_cast<std::uint16_t>(std::stoul(local.substr(local.find(':') + 1), nullptr, 16));
                if (port != other) return port;
            }
        }
        return 0;
    }

private:
    static std::set<std::string> SocketInodes(const std::string& fdDirectory) {
        std::set<std::string> inodes;
        if (DIR* directory = opendir(fdDirectory.c_str())) {
            while (dirent* entry = readdir(directory)) {
                char target[128] = {};
                std::string link = fdDirectory + "/" + entry->d_name;
                if (readlink(link.c_str(), target, sizeof target - 1) > 0 &&
                    std::string(target).rfind("socket:[", 0) == 0) {
                    inodes.insert(std::string(target).substr(8, std::string(target).size() - 9));
                }
            }
            closedir(directory);
        }
        return inodes;
    }

    void Collect(int fd, std::vector<std::string>& lines) {
        std::string pending;
        char buffer[4096];
        ssize_t received;
        while ((received = read(fd, buffer, sizeof buffer)) > 0) {
            pending.append(buffer, static_cast<std::size_t>(received));
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::lock_guard guard(lock);
                lines.push_back(pending.substr(0, end));
                pending.erase(0, end + 1);
                changed.notify_all();
            }
        }
        close(fd);
    }

    bool WaitForLine(std::vector<std::string>& lines, const std::string& text) {
        std::unique_lock guard(lock);
        // Each wake-up looks only at the lines that came since the last: output may be megabytes.
        std::size_t checked = 0;
        return changed.wait_for(guard, std::chrono::seconds(30), [&] {
            for (; checked < lines.size(); ++checked) {
                if (lines[checked].find(text) != std::string::npos) {
                    return true;
                }
            }
            return false;
        });
    }

    pid_t pid = -1;
    int outRead = -1;  // the output pipe while nobody reads it
    bool exited = false;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> outLines;
    std::vector<std::string> errLines;
    std::vector<std::thread> readers;
};
