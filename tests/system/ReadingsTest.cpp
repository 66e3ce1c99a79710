// The READINGS view as SQL tools read it (sqlite3, psql) after telvorn-headless stored readings
// sent over TCP, with the server in one zone, then in another, and the tools' sessions in two more.
#include "tests/system/SystemFixture.h"

#include <signal.h>

#include <ctime>
#include <sstream>

#include "tests/support/WaitUntil.h"
#include "tests/support/ZoneTime.h"

namespace system_test {
namespace {

constexpr int kUnit = 123;

class ReadingsTest : public SystemTest {
protected:
    struct Sent {
        std::string channel;
        std::time_t notBefore;
        std::time_t notAfter;
    };

    // Starts the server with TZ set to the zone, sends one AIN frame and waits for its FULLRCDS row.
    Sent SendIn(const std::string& zone, int channel) {
        headless =
            std::make_unique<ChildProcess>("/usr/bin/env", std::vector<std::string>{"TZ=" + zone, TELVORN_HEADLESS});
        EXPECT_TRUE(headless->WaitForOutput(kStatusLine));
        port = headless->ListeningPort();
        const int rows = Count("FULLRCDS");
        const std::time_t before = std::time(nullptr);
        const int client = Client();
        EXPECT_TRUE(loopback::SendText(client, Frame(kUnit, "10", channel, "112.34")));
        EXPECT_TRUE(WaitUntil([&] { return Count("FULLRCDS") == rows + 1; }));
        const std::time_t after = std::time(nullptr);
        close(client);
        EXPECT_EQ(headless->StopWith(SIGTERM), 0);
        return {"AIN" + std::to_string(channel), before, after};
    }

    // UID|CHANNEL|VALUE|RTU_TIME|TS lines, in channel order, as the engine's own tool prints them in
    // a session of the zone.
    std::vector<std::string> ReadWithTool(const std::string& zone) {
        std::string text;
        if (OnPostgres()) {
            text = PostgresCluster::Instance().Query("SET search_path TO " + schema_ + "; SET TIME ZONE '" + zone +
                                                     "'; SELECT uid, channel, value, rtu_time, ts FROM readings "
                                                     "ORDER BY channel");
        } else {
            text = RunCommand("TZ=" + zone + " sqlite3 -batch " + DatabaseFile().string() +
                              " 'SELECT UID, CHANNEL, VALUE, RTU_TIME, TS FROM READINGS ORDER BY CHANNEL'")
                       .output;
        }
        std::vector<std::string> lines;
        std::istringstream stream(text);
        for (std::string line; std::getline(stream, line);) lines.push_back(line);
        return lines;
    }
};

using ReadingsToolsTest = OnEachEngine<ReadingsTest>;
INSTANTIATE_TEST_SUITE_P(Engines, ReadingsToolsTest, EachEngine(), EngineName);

TEST_P(ReadingsToolsTest, ToolsReadWhatWasSentAtItsInstantWhateverTheZones) {
    Register(kUnit);
    const std::vector<Sent> sent = {SendIn("America/New_York", 1), SendIn("Asia/Kolkata", 2)};
    for (const char* session : {"UTC", "Pacific/Auckland"}) {
        const std::vector<std::string> lines = ReadWithTool(session);
        ASSERT_EQ(lines.size(), sent.size()) << session;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            const std::string fields = "123|" + sent[i].channel + "|12.3|20261207120000|";
            ASSERT_EQ(lines[i].rfind(fields, 0), 0u) << lines[i];
            const long long ts = EpochOfTimestamp(lines[i].substr(fields.size()));
            EXPECT_GE(ts, sent[i].notBefore) << session << " " << lines[i];
            EXPECT_LE(ts, sent[i].notAfter) << session << " " << lines[i];
        }
    }
}

}  // namespace
}  // namespace system_test
