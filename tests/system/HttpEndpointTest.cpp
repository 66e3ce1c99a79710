// The monitoring endpoint of telvorn-headless through real sockets: curl for HTTP, loopback RTU
// clients and rtusim for the traffic it reports on, Debian's Prometheus parser for the text.
#include "tests/system/SystemFixture.h"

#include <signal.h>

#include <map>
#include <regex>

#include "tests/storage/PostgresCluster.h"
#include "tests/support/WaitUntil.h"

namespace system_test {
namespace {

constexpr int kUnit = 123;

struct HttpReply {
    int status = 0;
    std::string body;
};

std::string AinFrame(int unit) { return Frame(unit, "10", 1, "112.34"); }

class HttpEndpointTest : public SystemTest {
protected:
    // Starts the server with these keys in section HTTP (a loopback LISTEN on a port of the
    // system's choosing unless they give one) and waits for the endpoint's line.
    void StartWithHttp(const std::string& httpKeys, const std::vector<std::string>& arguments = {},
                       const std::string& databaseKeys = "") {
        WriteFile("data_rtu.ini", "[SYSCONFIG]\nPORT=0\n" + DatabaseSettings() + databaseKeys + "[HTTP]\n" +
                                      (httpKeys.find("LISTEN=") == std::string::npos ? "LISTEN=127.0.0.1:0\n" : "") +
                                      httpKeys);
        headless = std::make_unique<ChildProcess>(TELVORN_HEADLESS, arguments);
        ASSERT_TRUE(headless->WaitForOutput(kStatusLine));
        // Either line comes once the endpoint has started or given up.
        ASSERT_TRUE(WaitUntil([&] {
            return !Line(headless->Output(), "HTTP endpoint on ").empty() ||
                   !Line(headless->Errors(), "HTTP endpoint off: ").empty();
        }));
        url = Line(headless->Output(), "HTTP endpoint on ");
        if (!url.empty()) url = url.substr(17);
        httpPort = url.empty() ? 0 : static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
        port = headless->ListeningPort(httpPort);
        ASSERT_NE(port, 0);
    }

    static std::string Line(const std::vector<std::string>& lines, const std::string& start) {
        for (const std::string& line : lines) {
            if (line.rfind(start, 0) == 0) return line;
        }
        return {};
    }

    HttpReply Get(const std::string& path, const std::string& curlOptions = "") {
        const CommandResult result = RunCommand("curl -s --max-time 20 --path-as-is " + curlOptions +
                                                " -w '\\n%{http_code}' '" + url + path + "'");
        const std::size_t last = result.output.rfind('\n');
        if (last == std::string::npos) return {};
        return {std::atoi(result.output.c_str() + last + 1), result.output.substr(0, last)};
    }

    // The value of one sample line of /metrics ("name{labels}"), -1 when absent.
    double Metric(const std::string& sample) {
        const std::string text = Get("/metrics", auth).body;
        const std::size_t at = text.find("\n" + sample + " ");
        return at == std::string::npos ? -1 : std::stod(text.substr(at + sample.size() + 2));
    }

    // The state /api/rtus gives the unit.
    std::string StateOf(int unit) {
        const std::string body = Get("/api/rtus/" + std::to_string(unit), auth).body;
        std::smatch match;
        return std::regex_search(body, match, std::regex(R"re("state": "(\w+)")re")) ? match[1].str() : "";
    }

    // Sends the frames and reads a register back on the same connection: every frame before the
    // read has then been decoded.
    void Report(int client, const std::vector<std::string>& frames) {
        for (const std::string& frame : frames) ASSERT_TRUE(loopback::SendText(client, frame));
        ASSERT_EQ(ReadRegisters(client, kUnit, 1000, 1).size(), 1u);
    }

    std::string url;
    std::uint16_t httpPort = 0;
    std::string auth;
};

TEST_F(HttpEndpointTest, MetricsMoveByExactlyWhatWasSentAndParseWithHelpAndType) {
    Register(kUnit);
    StartWithHttp("");
    const std::vector<std::string> names = {"telvorn_frames_total{protocol=\"rtu_io\"}",
                                            "telvorn_frames_total{protocol=\"modbus\"}",
                                            "telvorn_unknown_frames_total",
                                            "telvorn_history_writes_total{result=\"ok\"}",
                                            "telvorn_rtu_frames_total{uid=\"123\"}",
                                            "telvorn_connections_accepted_total",
                                            "telvorn_connections_closed_total{reason=\"peer\"}",
                                            "telvorn_received_bytes_total"};
    std::map<std::string, double> before;
    for (const std::string& name : names) before[name] = std::max(0.0, Metric(name));

    const int client = Client();
    const std::vector<std::string> frames = {AinFrame(kUnit), AinFrame(kUnit), Frame(kUnit, "99", 1, "1"),
                                             AinFrame(kUnit)};
    Report(client, frames);  // one Modbus read of register 1000
    ASSERT_EQ(ReadRegisters(client, kUnit, 1000, 2).size(), 2u);
    // /metrics is one answer shared by every client for up to a second.
    EXPECT_TRUE(WaitUntil([&] { return Metric("telvorn_connections") == 1; }));
    close(client);
    std::size_t sent = 2 * ModbusRequest(0, kUnit, 3, 1000, 1).size();
    for (const std::string& frame : frames) sent += frame.size();

    // Each AIN reading is two rows: its channel table and FULLRCDS.
    const std::string ok = "telvorn_history_writes_total{result=\"ok\"}";
    ASSERT_TRUE(WaitUntil([&] { return Metric(ok) == before[ok] + 6; }));
    ASSERT_TRUE(WaitUntil([&] { return Metric(names[6]) == before[names[6]] + 1; }));
    // The RTU's reports are its four frames; the two reads are a master's.
    const std::map<std::string, double> moved = {{names[0], 4}, {names[1], 2}, {names[2], 1}, {names[3], 6},
                                                 {names[4], 4}, {names[5], 1}, {names[6], 1}, {names[7], double(sent)}};
    for (const auto& [name, delta] : moved) EXPECT_EQ(Metric(name), before[name] + delta) << name;
    EXPECT_EQ(Metric("telvorn_modbus_requests_total{function=\"03\",result=\"ok\"}"), 2);
    EXPECT_EQ(Metric("telvorn_history_write_seconds_count"), Metric(ok));
    EXPECT_EQ(Metric("telvorn_stdout_dropped_lines_total"), 0);

    // Debian's parser reads the whole text, and every sample's family has its HELP and TYPE.
    WriteFile("metrics.txt", Get("/metrics").body);
    const CommandResult parsed = RunCommand(
        "/usr/bin/python3 -c '\n"
        "import re, sys\n"
        "from prometheus_client.parser import text_string_to_metric_families\n"
        "text = open(\"metrics.txt\").read()\n"
        "families = list(text_string_to_metric_families(text))\n"
        "helps = set(re.findall(r\"^# HELP (\\S+)\", text, re.M))\n"
        "types = set(re.findall(r\"^# TYPE (\\S+)\", text, re.M))\n"
        "for line in text.splitlines():\n"
        "    if line.startswith(\"#\"): continue\n"
        "    name = re.sub(r\"_(bucket|count|sum)$\", \"\", re.split(r\"[{ ]\", line)[0])\n"
        "    if name not in helps or name not in types: sys.exit(\"no HELP or TYPE: \" + name)\n"
        "print(len(families), \"families\")' 2>&1");
    EXPECT_EQ(parsed.status, 0) << parsed.output;
    EXPECT_NE(parsed.output.find(" families"), std::string::npos) << parsed.output;
}

TEST_F(HttpEndpointTest, RtuTurnsDisconnectedWhenItsConnectionClosesAndSilentAfterStale) {
    for (int unit : {kUnit, 124, 125}) Register(unit);
    WriteFile("name_rtu.ini", "[DEVNAMES]\nAD1=Tank level\nAD1_UNIT=m\n");
    StartWithHttp("");
    const int staying = Client();
    Report(staying, {AinFrame(kUnit)});
    const int leaving = Client();
    ASSERT_TRUE(loopback::SendText(leaving, AinFrame(124)));
    ASSERT_TRUE(WaitUntil([&] { return StateOf(124) == "connected"; }));
    close(leaving);

    EXPECT_TRUE(WaitUntil([&] { return StateOf(124) == "disconnected"; }));
    EXPECT_EQ(StateOf(kUnit), "connected");
    EXPECT_EQ(StateOf(125), "never");
    const std::string rtu = Get("/api/rtus/123").body;
    EXPECT_NE(rtu.find("\"peer\": \"127.0.0.1:"), std::string::npos) << rtu;
    EXPECT_TRUE(std::regex_search(rtu, std::regex(R"re("name": "Tank level",\s*"unit": "m",\s*"value": 12\.3\b)re")))
        << rtu;
    EXPECT_EQ(Metric("telvorn_rtu_connected{uid=\"123\"}"), 1);
    EXPECT_EQ(Metric("telvorn_rtu_connected{uid=\"124\"}"), 0);
    const HttpReply missing = Get("/api/rtus/999");
    EXPECT_EQ(missing.status, 404);
    EXPECT_NE(missing.body.find("\"error\""), std::string::npos);
    close(staying);
    ASSERT_EQ(headless->StopWith(SIGTERM), 0);

    // With a STALE of one second an RTU whose connection stays open soon counts as silent.
    StartWithHttp("STALE=1\n");
    const int quiet = Client();
    Report(quiet, {AinFrame(kUnit)});
    EXPECT_TRUE(WaitUntil([&] { return StateOf(kUnit) == "silent"; }));
    const std::string status = Get("/api/status").body;
    // 124 too: its last report, before the restart, comes from the stored readings.
    EXPECT_NE(status.find("\"silent\": 2"), std::string::npos) << status;
    EXPECT_NE(status.find("\"modbus\": \"classic\""), std::string::npos);
    close(quiet);
}

TEST_F(HttpEndpointTest, UnitReportingUnregisteredIsListedWithItsFramesAndPeerUntilRegistered) {
    Register(kUnit);
    StartWithHttp("");
    const int client = Client();
    Report(client, {AinFrame(999), AinFrame(999), AinFrame(kUnit)});
    const std::string rtus = Get("/api/rtus").body;
    EXPECT_TRUE(std::regex_search(
        rtus,
        std::regex(
            R"re("frames": 2,[^}]*"model": null,\s*"peer": "127\.0\.0\.1:\d+",[^}]*"state": "unregistered",\s*"uid": "999")re")))
        << rtus;
    EXPECT_NE(Get("/api/status").body.find("\"unregistered\": 1"), std::string::npos);
    EXPECT_EQ(Metric("telvorn_rtus{state=\"unregistered\"}"), 1);

    Register(999);
    headless->Signal(SIGHUP);
    ASSERT_TRUE(headless->WaitForOutput("Registry reloaded: 2 RTUs, 1 new."));
    EXPECT_EQ(Get("/api/rtus").body.find("unregistered"), std::string::npos);
    EXPECT_EQ(StateOf(999), "never");
    close(client);
}

TEST_F(HttpEndpointTest, RtuUpFollowsAConnectASilencePastStaleAndARestart) {
    for (int unit : {kUnit, 124}) Register(unit);
    const auto up = [&](int unit) { return Metric("telvorn_rtu_up{uid=\"" + std::to_string(unit) + "\"}"); };
    const auto rtus = [&](const char* state) { return Metric(std::string("telvorn_rtus{state=\"") + state + "\"}"); };
    StartWithHttp("STALE=2\n");
    const int client = Client();
    // An RTU that keeps reporting is up; 124, never heard, is down once STALE has passed since start.
    EXPECT_TRUE(WaitUntil([&] {
        Report(client, {AinFrame(kUnit)});
        return up(kUnit) == 1 && rtus("connected") == 1 && up(124) == 0 && rtus("never") == 1;
    }));
    // Silent on an open connection: down once STALE has passed since its last report.
    EXPECT_TRUE(WaitUntil([&] { return up(kUnit) == 0 && rtus("silent") == 1; }));
    EXPECT_EQ(rtus("disconnected"), 0);
    close(client);
    ASSERT_EQ(headless->StopWith(SIGTERM), 0);

    StartWithHttp("STALE=2\n");
    EXPECT_TRUE(WaitUntil([&] { return up(kUnit) == 0 && up(124) == 0; }));
    // The last report comes from the stored readings: silent before the restart, silent after it.
    EXPECT_EQ(StateOf(kUnit), "silent");
    EXPECT_EQ(rtus("never"), 1);
    EXPECT_EQ(Metric("telvorn_rtu_silent_after_seconds{by=\"stale\",uid=\"123\"}"), 2);
    const std::string list = Get("/api/rtus").body;
    double counted = 0;
    for (const char* state : {"connected", "silent", "disconnected", "never"}) {
        const std::string quoted = std::string("\"state\": \"") + state + "\"";
        double listed = 0;
        for (std::size_t at = list.find(quoted); at != std::string::npos; at = list.find(quoted, at + 1)) ++listed;
        EXPECT_EQ(rtus(state), listed) << state;
        counted += rtus(state);
    }
    EXPECT_EQ(counted, 2);
    const int again = Client();
    EXPECT_TRUE(WaitUntil([&] {
        Report(again, {AinFrame(kUnit)});
        return up(kUnit) == 1;
    }));
    close(again);
}

class PostgresHttpEndpointTest : public HttpEndpointTest {
protected:
    TestEngine Engine() const override { return TestEngine::Postgres; }
};

// The database server down: no reading is lost while the spool takes them, and /healthz says so;
// with the spool's file and memory full, readings are refused and it says that.
TEST_F(PostgresHttpEndpointTest, HealthSaysWhereReadingsGoAndTurns503OnlyWhileTheyAreRefused) {
    Register(kUnit);
    StartWithHttp("", {}, "SPOOLMAXKB=64\nSPOOLRAMKB=1\n");
    const int client = Client();
    Report(client, {AinFrame(kUnit)});
    EXPECT_EQ(Get("/healthz").body, "ok: database answers\n");
    PostgresCluster& cluster = PostgresCluster::Instance();
    ASSERT_TRUE(cluster.Stop());
    const bool away = WaitUntil([&] {
        Report(client, {AinFrame(kUnit)});
        return Get("/healthz").body.rfind("ok: database away, the spool takes every reading (", 0) == 0;
    });
    const bool refused = WaitUntil([&] {
        Report(client, {AinFrame(kUnit), AinFrame(kUnit), AinFrame(kUnit), AinFrame(kUnit)});
        return Get("/healthz").status == 503;
    });
    const std::string reason = Get("/healthz").body;
    ASSERT_TRUE(cluster.Start());
    EXPECT_TRUE(away);
    EXPECT_TRUE(refused);
    EXPECT_EQ(reason, "readings refused: file full (64 KiB) and memory full (1 KiB)\n");
    EXPECT_TRUE(WaitUntil([&] {
        Report(client, {AinFrame(kUnit)});
        return Get("/healthz").body == "ok: database answers\n";
    }));
    close(client);
}

TEST_F(HttpEndpointTest, UnsafeSettingsLeaveTheEndpointOffAndTheRtuPortServing) {
    Register(kUnit);
    WriteFile("garbage.pem", "not a certificate\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"LISTEN=0.0.0.0:0\n", "is not a loopback address"},
        {"LISTEN=0.0.0.0:0\nUSER=ops\nPASSWORD=$6$salt$hash\n", "is not a loopback address"},
        {"USER=ops\nPASSWORD=secret\n", "crypt(3) hash"},
        {"CERT=garbage.pem\nKEY=garbage.pem\n", "do not load"},
    };
    for (const auto& [keys, why] : cases) {
        StartWithHttp(keys);
        EXPECT_NE(Line(headless->Errors(), "HTTP endpoint off: ").find(why), std::string::npos) << keys;
        EXPECT_TRUE(url.empty()) << keys;
        const int client = Client();
        Report(client, {AinFrame(kUnit)});
        close(client);
        EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    }
    // A port in use: one this test listens on (a second server in this directory would find the
    // spool held and end).
    std::uint16_t taken = 0;
    const int holder = loopback::Listen(&taken);
    const std::string busy = "127.0.0.1:" + std::to_string(taken);
    StartWithHttp("LISTEN=" + busy + "\n");
    EXPECT_TRUE(headless->WaitForError("HTTP endpoint off: cannot listen on " + busy));
    close(holder);
}

TEST_F(HttpEndpointTest, BadRequestsAreRefusedAndIdleClientsLeaveTheRtuPortServing) {
    Register(kUnit);
    const CommandResult hash = RunCommand("openssl passwd -6 -salt telvorn secret");
    ASSERT_EQ(hash.status, 0);
    StartWithHttp("USER=ops\nPASSWORD=" + hash.output.substr(0, hash.output.find('\n')) + "\n");
    EXPECT_EQ(Get("/metrics").status, 401);
    EXPECT_EQ(Get("/healthz", "-u ops:wrong").status, 401);
    auth = "-u ops:secret";
    EXPECT_EQ(Get("/metrics", auth).status, 200);
    EXPECT_EQ(Get("/metrics", auth + " -X POST -d x=1").status, 405);
    EXPECT_EQ(Get("/api/status", auth + " -H 'X-Padding: " + std::string(16 * 1024, 'a') + "'").status, 431);
    for (const std::string path : {"/api/../metrics", "/api/rtus/../../etc/passwd", "/./metrics"}) {
        EXPECT_EQ(Get(path, auth).status, 400) << path;
    }

    std::vector<int> idle;
    for (int i = 0; i < 100; ++i) idle.push_back(loopback::Connect(httpPort));
    const int client = Client();
    for (int i = 0; i < 20; ++i) Report(client, {AinFrame(kUnit)});
    close(client);
    EXPECT_TRUE(WaitUntil([&] { return Count("FULLRCDS") == 20; }));
    for (int socket : idle) {
        if (socket >= 0) close(socket);
    }
}

TEST_F(HttpEndpointTest, HttpsWithASelfSignedCertificateIsCheckedByCurl) {
    const CommandResult made = RunCommand(
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -addext "
        "subjectAltName=IP:127.0.0.1 -keyout key.pem -out cert.pem 2>&1");
    ASSERT_EQ(made.status, 0) << made.output;
    StartWithHttp("CERT=cert.pem\nKEY=key.pem\n");
    ASSERT_EQ(url.rfind("https://127.0.0.1:", 0), 0u) << url;
    const HttpReply health = Get("/healthz", "--cacert cert.pem");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.body, "ok: database answers\n");
    EXPECT_NE(Get("/healthz").status, 200);  // without the certificate curl refuses it
    const CommandResult headers = RunCommand("curl -s -o /dev/null -D - --cacert cert.pem '" + url + "/'");
    EXPECT_NE(headers.output.find("Strict-Transport-Security: max-age="), std::string::npos) << headers.output;
    EXPECT_NE(headers.output.find("Content-Security-Policy: default-src 'self'; frame-ancestors 'none'"),
              std::string::npos)
        << headers.output;
    EXPECT_NE(headers.output.find("X-Content-Type-Options: nosniff"), std::string::npos) << headers.output;
}

TEST_F(HttpEndpointTest, SighupTakesAnRtuAddedByAnotherProcessWhileRtusimSends) {
    Register(kUnit);
    StartWithHttp("");
    std::string summary;
    std::thread sender([&] {
        summary = RunCommand(std::string(TELVORN_RTUSIM) + " --port " + std::to_string(port) +
                             " --units 123-123 --connections 1 --rate 20 --frames 10 --modbus 03 --duration 6")
                      .output;
    });
    Register(124);  // through this process's own connection, as another server's RTU list would
    headless->Signal(SIGHUP);
    EXPECT_TRUE(headless->WaitForOutput("Registry reloaded: 2 RTUs, 1 new."));
    EXPECT_NE(Get("/api/rtus").body.find("\"uid\": \"124\""), std::string::npos);
    const int client = Client();
    ASSERT_TRUE(loopback::SendText(client, AinFrame(124)));
    ASSERT_EQ(ReadRegisters(client, 124, 1000, 1).size(), 1u);
    close(client);
    sender.join();
    EXPECT_TRUE(WaitUntil([&] { return Count("124_AIN1") == 1; }));
    EXPECT_NE(summary.find("\"missing_replies\":0"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\"wrong_replies\":0"), std::string::npos) << summary;
}

}  // namespace
}  // namespace system_test
