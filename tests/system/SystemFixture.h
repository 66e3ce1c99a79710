#pragma once

// telvorn-headless as a black box: the test's own directory (its HOME, with the INI files and
// "Log.txt"), the test environment's ODBC files, a database with the registered RTUs and their
// channel tables, and the ephemeral port the server listens on.

#include "tests/storage/StorageFixture.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "storage/Schema.h"
#include "tests/platform/completionport/LoopbackSockets.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempWorkingDirectory.h"

namespace system_test {

constexpr int kGenerousMs = 30000;
// The monitoring endpoint stays off unless a test turns it on: its default port is fixed.
constexpr const char* kHttpOff = "[HTTP]\nLISTEN=\n";
constexpr const char* kStatusLine = "Listening on 0, connections 100, workers 120, idle time-out 600 s";

// A frame of unit `uid` with the given function characters, channel and payload, at a fixed RTU time.
inline std::string Frame(int uid, const char* function, int channel, const std::string& payload) {
    char header[64];
    std::snprintf(header, sizeof header, "$%08dAB%s20261207120000%02d", uid, function, channel);
    return header + payload + "$";
}

// A Modbus/TCP request with a start address and a quantity (reads) or value (single writes).
inline std::string ModbusRequest(std::uint16_t transaction, int unit, int function, int address, int quantity) {
    const unsigned char bytes[] = {static_cast<unsigned char>(transaction >> 8),
                                   static_cast<unsigned char>(transaction),
                                   0,
                                   0,
                                   0,
                                   6,
                                   static_cast<unsigned char>(unit),
                                   static_cast<unsigned char>(function),
                                   static_cast<unsigned char>(address >> 8),
                                   static_cast<unsigned char>(address),
                                   static_cast<unsigned char>(quantity >> 8),
                                   static_cast<unsigned char>(quantity)};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Reads until `size` bytes came or the deadline passed.
inline std::string ReceiveBytes(int socket, std::size_t size) {
    std::string received;
    while (received.size() < size) {
        const std::string more = loopback::Receive(socket, kGenerousMs);
        if (more.empty()) break;
        received += more;
    }
    return received;
}

// The number after "key": in rtusim's one-line JSON summary; -1 when absent.
inline long SummaryNumber(const std::string& summary, const std::string& key) {
    const std::size_t at = summary.find("\"" + key + "\":");
    return at == std::string::npos ? -1 : std::stol(summary.substr(at + key.size() + 3));
}

#ifdef TELVORN_RTUSIM
// rtusim's summary line, its arguments after the port.
inline std::string RunRtusim(std::uint16_t port, const std::string& arguments) {
    const std::string command = std::string(TELVORN_RTUSIM) + " --port " + std::to_string(port) + " " + arguments;
    return RunCommand(command).output;
}
#endif

// The 16-bit words of a register reply (after its 9 header bytes).
inline std::vector<int> ReplyWords(const std::string& reply) {
    std::vector<int> words;
    for (std::size_t i = 9; i + 1 < reply.size(); i += 2) {
        words.push_back(static_cast<std::int16_t>((static_cast<unsigned char>(reply[i]) << 8) |
                                                  static_cast<unsigned char>(reply[i + 1])));
    }
    return words;
}

class SystemTest : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        WriteFile("data_rtu.ini", "[SYSCONFIG]\nPORT=0\n" + DatabaseSettings() + kHttpOff);
        WriteFile("rtu_ui.ini", kStatusTitles);
        Connect();
        ASSERT_TRUE(Exec(RtuTableCreation()));
        ASSERT_TRUE(Exec(kFullRcdsCreation));
    }

    void TearDown() override {
        headless.reset();
        StorageTest::TearDown();
    }

    // Registers the unit as the RTU list does, with every channel table.
    void Register(int uid) {
        ASSERT_TRUE(Exec("INSERT INTO RTU_TAB(UID, RDATA7) VALUES ('" + std::to_string(uid) + "', '402')"));
        CreateChannelTables(db, std::to_string(uid));
    }

    // Starts the server and waits for it to listen.
    void Start(const std::vector<std::string>& arguments = {}) {
        headless = std::make_unique<ChildProcess>(TELVORN_HEADLESS, arguments);
        ASSERT_TRUE(headless->WaitForOutput(kStatusLine));
        port = headless->ListeningPort();
        ASSERT_NE(port, 0);
    }

    // A new client connection; the test fails if the server does not take it.
    int Client() {
        const int client = loopback::Connect(port);
        EXPECT_GE(client, 0);
        return client;
    }

    // Reads `quantity` registers (fn 0x03) at `address` of `unit` on the connection; empty when
    // no full reply came.
    std::vector<int> ReadRegisters(int client, int unit, int address, int quantity) {
        // Several client threads of one test may read at once.
        static std::atomic<std::uint16_t> lastTransaction{0x0100};
        const std::uint16_t transaction = ++lastTransaction;
        if (!loopback::SendText(client, ModbusRequest(transaction, unit, 3, address, quantity))) return {};
        const std::string reply = ReceiveBytes(client, 9 + 2 * static_cast<std::size_t>(quantity));
        if (reply.size() != 9 + 2 * static_cast<std::size_t>(quantity)) return {};
        return ReplyWords(reply);
    }

    // True once "Log.txt" in the test's directory holds the text, waiting (bounded) for it.
    bool WaitForLogText(const std::string& text) {
        for (int waited = 0; waited < kGenerousMs; waited += 20) {
            if (ReadFile(home_ / "Log.txt").find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    std::unique_ptr<ChildProcess> headless;
    std::uint16_t port = 0;
};

}  // namespace system_test
