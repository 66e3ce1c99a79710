// A master on Debian's libmodbus (modbus_client_check.c) against telvorn-headless in both Modbus
// modes: its table of reads, writes and refused requests, on one connection.
#include "tests/system/SystemFixture.h"

#include <algorithm>

namespace system_test {
namespace {

constexpr int kUnit = 123;

class LibmodbusTest : public SystemTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        WriteFile("data_rtu.ini",
                  "[SYSCONFIG]\nPORT=0\nMODBUS=" + std::string(GetParam()) + "\n" + DatabaseSettings() + kHttpOff);
        Register(kUnit);
        Start();
    }
};

TEST_P(LibmodbusTest, MasterGetsWhatTheModeSays) {
    const bool standard = std::string(GetParam()) == "standard";
    const std::vector<std::string> output = headless->Output();
    const bool shown = std::any_of(output.begin(), output.end(), [](const std::string& line) {
        return line == std::string(kStatusLine) + ", Modbus standard";
    });
    EXPECT_EQ(shown, standard);
    const int client = Client();
    for (const std::string& frame :
         {Frame(kUnit, "10", 0, "149.80"), Frame(kUnit, "10", 1, "112.30"), Frame(kUnit, "20", 4, "1011"),
          Frame(kUnit, "21", 3, "011"), Frame(kUnit, "31", 0, "R13.25")}) {
        ASSERT_TRUE(loopback::SendText(client, frame));
    }
    // Read on the same connection, after the frames: they have all been applied.
    ASSERT_EQ(ReadRegisters(client, kUnit, 1200, 1), std::vector<int>{32});
    close(client);
    const CommandResult result =
        RunCommand(std::string(TELVORN_MODBUS_CHECK) + " " + std::to_string(port) + " " + GetParam() + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output.find("FAIL"), std::string::npos) << result.output;
}

INSTANTIATE_TEST_SUITE_P(Modes, LibmodbusTest, ::testing::Values("classic", "standard"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace system_test
