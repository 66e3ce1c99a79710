// Clients we did not write, from Debian, against telvorn-headless: mbpoll reads what frames
// reported, pymodbus writes registers and reads them back, isql lists the stored rows. Each is
// skipped only when its package is not installed.
#include "tests/system/SystemFixture.h"

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

namespace system_test {
namespace {

constexpr int kUnit = 123;

class ClientsTest : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        Register(kUnit);
        Start();
        client = Client();
    }

    void TearDown() override {
        if (client >= 0) close(client);
        SystemTest::TearDown();
    }

    // Sends the frames and reads a register back on the same connection, whose chunks are decoded
    // in order: every frame has then been applied.
    void Report(const std::vector<std::string>& frames) {
        for (const std::string& frame : frames) ASSERT_TRUE(loopback::SendText(client, frame));
        ASSERT_EQ(ReadRegisters(client, kUnit, 1200, 1).size(), 1u);
    }

    // The "[address]: value" lines of one mbpoll poll, PDU addresses (-0) from `start`.
    std::map<int, std::string> Mbpoll(const std::string& type, int start, int count) {
        const CommandResult result =
            RunCommand("/usr/bin/mbpoll -m tcp -1 -0 -o 10 -a " + std::to_string(kUnit) + " -t " + type + " -r " +
                       std::to_string(start) + " -c " + std::to_string(count) + " -p " + std::to_string(port) +
                       " 127.0.0.1" + " 2>&1");
        EXPECT_EQ(result.status, 0) << result.output;
        std::map<int, std::string> values;
        const std::regex line(R"(\[(\d+)\]:\s+(\S+))");
        std::istringstream lines(result.output);
        for (std::string text; std::getline(lines, text);) {
            std::smatch match;
            if (std::regex_search(text, match, line)) values[std::stoi(match[1])] = match[2];
        }
        return values;
    }

    int client = -1;
};

class MbpollTest : public ClientsTest {
protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/mbpoll")) GTEST_SKIP() << "mbpoll not installed (Debian package mbpoll)";
        ClientsTest::SetUp();
        Report({Frame(kUnit, "22", 2, "112.34,10.50,"), Frame(kUnit, "20", 4, "1011"), Frame(kUnit, "21", 3, "011"),
                Frame(kUnit, "31", 0,
                      "R1"
                      "3.25")});
    }
};

TEST_F(MbpollTest, HoldingRegistersShowReportedValuesInTenths) {
    EXPECT_EQ(Mbpoll("4", 1000, 2), (std::map<int, std::string>{{1000, "123"}, {1001, "5"}}));
    EXPECT_EQ(Mbpoll("4", 1200, 1), (std::map<int, std::string>{{1200, "32"}}));
}

TEST_F(MbpollTest, InputRegistersShowReportedValuesAsFloats) {
    const std::map<int, std::string> ain = Mbpoll("3:float", 1000, 2);
    ASSERT_EQ(ain.size(), 2u);
    EXPECT_NEAR(std::stod(ain.begin()->second), 12.3, 1e-4);
    EXPECT_NEAR(std::stod(std::next(ain.begin())->second), 0.5, 1e-6);
    const std::map<int, std::string> registers = Mbpoll("3:float", 1200, 1);
    ASSERT_EQ(registers.size(), 1u);
    EXPECT_NEAR(std::stod(registers.begin()->second), 3.25, 1e-6);
}

TEST_F(MbpollTest, CoilsShowReportedInputsAndOutputs) {
    EXPECT_EQ(Mbpoll("0", 1000, 4), (std::map<int, std::string>{{1000, "1"}, {1001, "0"}, {1002, "1"}, {1003, "1"}}));
    EXPECT_EQ(Mbpoll("0", 1100, 3), (std::map<int, std::string>{{1100, "0"}, {1101, "1"}, {1102, "1"}}));
}

// Debian's python3-pymodbus (3.0): the client API of ModbusTcpClient with `slave=`.
const char* const kPymodbusScript = R"(import socket
import struct
import sys
from pymodbus.client import ModbusTcpClient
client = ModbusTcpClient("127.0.0.1", port=int(sys.argv[1]), timeout=10)
assert client.connect()
def outcome(reply):
    return "error " + str(reply) if reply.isError() else "ok"
print("fn06", outcome(client.write_register(1200, 2550, slave=123)))
try:
    print("fn10", outcome(client.write_registers(1201, [5, 0xFFFF], slave=123)))
except Exception as failure:
    print("fn10 raised", failure)
request = struct.pack(">HHHBBHHBH", 7, 0, 9, 123, 0x10, 1201, 1, 2, 5)
raw = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
raw.sendall(request)
echo = b""
while len(echo) < len(request):
    part = raw.recv(len(request) - len(echo))
    if not part:
        break
    echo += part
raw.close()
print("fn10 raw", "whole request" if echo == request else echo.hex())
reply = client.read_holding_registers(1200, 3, slave=123)
print("fn03", *reply.registers)
client.close()
)";

TEST_F(ClientsTest, PymodbusWritesRegistersWithFunctions06And10AndReadsThemBack) {
    if (RunCommand("/usr/bin/python3 -c 'import pymodbus.client' 2>&1").status != 0) {
        GTEST_SKIP() << "pymodbus cannot be imported (Debian packages python3-pymodbus, python3-serial-asyncio)";
    }
    WriteFile("write_read.py", kPymodbusScript);
    const CommandResult result = RunCommand("/usr/bin/python3 write_read.py " + std::to_string(port) + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("fn06 ok"), std::string::npos) << result.output;
    // The server acknowledges 0x10 by echoing the whole request, which pymodbus cannot decode as
    // a reply: it reports an error, and the same request sent on a plain socket comes back whole.
    EXPECT_NE(result.output.find("fn10 error"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("fn10 raw whole request"), std::string::npos) << result.output;
    // 0x06 stores the value × 0.01 (25.5); 0x10 to 1200..1233 lands unscaled (5.0, -1.0); reads
    // give tenths, so the values read back tell that both writes arrived.
    EXPECT_NE(result.output.find("fn03 255 50 65526"), std::string::npos) << result.output;
}

TEST_F(ClientsTest, IsqlListsTheRowsTheServerStored) {
#ifdef TELVORN_SANITIZED_DRIVER
    GTEST_SKIP() << "an uninstrumented isql cannot load the sanitizer-built driver";
#endif
    if (!std::filesystem::exists("/usr/bin/isql")) GTEST_SKIP() << "isql not installed (Debian package unixodbc)";
    Report({Frame(kUnit, "10", 1,
                  "1"
                  "12.34"),
            Frame(kUnit, "11", 0,
                  "1"
                  "25.50")});
    ASSERT_EQ(headless->StopWith(SIGTERM), 0);
    WriteFile("list.sql", "SELECT UID, RDATACH, RVALUE FROM FULLRCDS ORDER BY RID\n");
    const CommandResult result = RunCommand("/usr/bin/isql -b -v RTUDB < list.sql 2>&1");
    EXPECT_EQ(result.status, 0) << result.output;
    const std::regex ain1(R"(\| 123\s*\| AIN1\s*\| 12\.30)");
    const std::regex itemp(R"(\| 123\s*\| ITEMP-1\s*\| 25\.50)");
    EXPECT_TRUE(std::regex_search(result.output, ain1)) << result.output;
    EXPECT_TRUE(std::regex_search(result.output, itemp)) << result.output;
}

}  // namespace
}  // namespace system_test
