#pragma once

// A private PostgreSQL cluster for one test program: initdb in a temporary directory, a server
// on a socket directory of its own and no TCP listener (so no port can clash), started at the
// first use and stopped when the program ends. initdb and postgres refuse to run as root, so as
// root (CI) they run as the `postgres` system user through runuser.
//
// The cluster's default collation is ICU's en-US, where 'a1' sorts before 'B1': a table that
// forgot its byte-wise collation would sort differently from SQLite and fail the tests.
//
// Roles: the superuser postgres (trusted on the socket) sets up the role telvorn with a password
// (checked, scram) and its database telvorn, in which every test gets a schema of its own.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef TELVORN_PG_BINDIR
#define TELVORN_PG_BINDIR "/usr/lib/postgresql/15/bin"
#endif

class PostgresCluster {
public:
    static constexpr const char* kUser = "telvorn";
    static constexpr const char* kPassword = "telvorn-test";
    static constexpr const char* kDatabase = "telvorn";

    // The cluster, started on first use; fails the calling test when it cannot start.
    static PostgresCluster& Instance() {
        static PostgresCluster cluster;
        if (!cluster.started_ && !cluster.failed_) cluster.Create();
        EXPECT_FALSE(cluster.failed_) << "private PostgreSQL cluster did not start; see " << cluster.dir_;
        return cluster;
    }

    ~PostgresCluster() {
        if (started_) Stop();
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }

    const std::string& SocketDirectory() const { return dir_; }
    std::string Port() const { return std::to_string(port_); }

    bool Stop() { return RunAs(Bin("pg_ctl") + " -D " + dir_ + "/data -w -s -m fast stop"); }

    bool Start() {
        return RunAs(Bin("pg_ctl") + " -D " + dir_ + "/data -l " + dir_ + "/server.log -w -s -t 60 -o \"-p " + Port() +
                     " -k " + dir_ + " -c listen_addresses='' -c fsync=off -c full_page_writes=off\" start");
    }

    // Sends `signal` to the server and each of its processes: SIGSTOP stalls it as a hung machine
    // or a storage hiccup would, SIGCONT lets it go on. False when the server is not running.
    bool SignalServer(int signal) const {
        pid_t server = 0;
        if (!(std::ifstream(dir_ + "/data/postmaster.pid") >> server) || server <= 0) return false;
        std::vector<pid_t> processes{server};
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::string stat;
            std::getline(std::ifstream(entry.path() / "stat"), stat);
            // The parent is the second field after the command, which is in parentheses.
            const std::size_t close = stat.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream fields(stat.substr(close + 1));
            char state = 0;
            pid_t parent = 0;
            if (fields >> state >> parent && parent == server) processes.push_back(std::stoi(name));
        }
        for (const pid_t process : processes) kill(process, signal);
        return true;
    }

    // Runs SQL as the superuser in the given database; true when psql succeeded.
    bool Sql(const std::string& sql, const std::string& database = kDatabase) const {
        return std::system(Psql(database, sql).c_str()) == 0;
    }

    // The first column of a query's rows, one per line, as the superuser.
    std::string Query(const std::string& sql, const std::string& database = kDatabase) const {
        std::string text;
        if (FILE* pipe = popen(Psql(database, sql).c_str(), "r")) {
            char buffer[4096];
            while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
            pclose(pipe);
        }
        return text;
    }

    // A new, empty schema owned by the test role.
    std::string NewSchema() {
        const std::string name = "t" + std::to_string(getpid()) + "_" + std::to_string(++schemaCount_);
        EXPECT_TRUE(Sql("CREATE SCHEMA " + name + " AUTHORIZATION " + kUser));
        return name;
    }

private:
    PostgresCluster() = default;

    static std::string Bin(const char* tool) { return std::string(TELVORN_PG_BINDIR) + "/" + tool; }

    // As root the server's tools run as the postgres user, who owns the directory; from "/", since
    // that user may not enter the test's working directory.
    static bool RunAs(const std::string& command) {
        const std::string line =
            std::string(geteuid() == 0 ? "cd / && runuser -u postgres -- " : "") + command + " >/dev/null";
        return std::system(line.c_str()) == 0;
    }

    std::string Psql(const std::string& database, const std::string& sql) const {
        return Bin("psql") + " -X -q -At -v ON_ERROR_STOP=1 -h " + dir_ + " -p " + Port() + " -U postgres -d " +
               database + " -c " + ShellQuoted(sql) + " 2>/dev/null";
    }

    static std::string ShellQuoted(const std::string& text) {
        std::string quoted = "'";
        for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }

    // A port number no other server on this machine has: the socket lives in our directory, but
    // a free TCP port keeps the name unique for tools that show it.
    static int FreePort() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        close(fd);
        return ntohs(address.sin_port);
    }

    void Create() {
        failed_ = true;
        std::string pattern = "/tmp/telvorn-pg-XXXXXX";  // short: a socket path has at most 107 bytes
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        if (geteuid() == 0) {
            const passwd* user = getpwnam("postgres");
            if (user == nullptr || chown(dir_.c_str(), user->pw_uid, user->pw_gid) != 0) return;
        }
        port_ = FreePort();
        if (!RunAs(Bin("initdb") + " -D " + dir_ + "/data -U postgres -A trust --no-sync --no-instructions -E UTF8" +
                   " --locale=C.UTF-8 --locale-provider=icu --icu-locale=en-US"))
            return;
        std::ofstream(dir_ + "/data/pg_hba.conf", std::ios::trunc)
            << "local all postgres trust\nlocal all all scram-sha-256\n";
        if (!Start()) return;
        started_ = true;
        StopWhenThisProcessEnds();
        if (!Sql(std::string("CREATE ROLE ") + kUser + " LOGIN PASSWORD '" + kPassword + "'", "postgres") ||
            !Sql(std::string("CREATE DATABASE ") + kDatabase + " OWNER " + kUser, "postgres"))
            return;
        failed_ = false;
    }

    // The destructor stops the cluster when the program ends normally; a program that crashes or is
    // killed runs no destructor, so a watcher stops the cluster and removes its directory once this
    // process is gone.
    void StopWhenThisProcessEnds() const {
        const std::string stop = (geteuid() == 0 ? "cd / && runuser -u postgres -- " : "") + Bin("pg_ctl") + " -D " +
                                 dir_ + "/data -w -s -m fast stop";
        const std::string watcher = "(while kill -0 " + std::to_string(getpid()) + " 2>/dev/null; do sleep 1; done; " +
                                    stop + "; rm -rf " + dir_ + ") >/dev/null 2>&1 &";
        std::system(watcher.c_str());
    }

    std::string dir_;
    int port_ = 0;
    bool started_ = false;
    bool failed_ = false;
    int schemaCount_ = 0;
};
