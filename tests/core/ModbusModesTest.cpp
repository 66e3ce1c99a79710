// The two ways the Modbus/TCP service answers (classic and standard), and what counts as an RTU's
// own report.
#include <gtest/gtest.h>

#include "core/CoreCounts.h"
#include "tests/core/CoreFixture.h"

namespace {

Bytes Header(std::uint16_t tid, std::uint8_t unit, std::uint8_t fn, std::uint16_t address) {
    return {static_cast<std::uint8_t>(tid >> 8),     static_cast<std::uint8_t>(tid),    0, 0, 0, 6, unit, fn,
            static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
}

// A request of the fixed 12-byte form, or one with a byte count and data after its quantity.
Bytes Request(std::uint8_t unit, std::uint8_t fn, std::uint16_t address, std::uint16_t word, Bytes data = {}) {
    Bytes adu = Header(7, unit, fn, address);
    adu.push_back(static_cast<std::uint8_t>(word >> 8));
    adu.push_back(static_cast<std::uint8_t>(word));
    if (!data.empty()) adu.push_back(static_cast<std::uint8_t>(data.size()));
    adu.insert(adu.end(), data.begin(), data.end());
    adu[5] = static_cast<std::uint8_t>(adu.size() - 6);
    return adu;
}

Bytes Exception(std::uint8_t unit, std::uint8_t fn, std::uint8_t code) {
    return {0, 7, 0, 0, 0, 3, unit, static_cast<std::uint8_t>(fn | 0x80), code};
}

class ModbusModes : public CoreTest {
protected:
    ModbusModes() {
        registerRtu(0, "5", 402);
        modbusMode = ModbusMode::kStandard;
    }
};

struct StandardAnswer {
    const char* name;
    Bytes request;
    Bytes reply;
    bool applied;  // a channel of unit 5 changes
};

class StandardMode : public ModbusModes, public ::testing::WithParamInterface<StandardAnswer> {};

// Every request is answered, an exception response where it cannot be served; a refused write
// changes nothing.
TEST_P(StandardMode, AnswersEveryRequest) {
    const StandardAnswer& a = GetParam();
    send(a.request);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], a.reply);
    EXPECT_EQ(!history().empty(), a.applied);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, StandardMode,
    ::testing::Values(
        StandardAnswer{"Read", Request(5, 0x03, 1000, 1), {0, 7, 0, 0, 0, 5, 5, 3, 2, 0, 0}, false},
        StandardAnswer{"FunctionNotServed", Request(5, 0x02, 1000, 1), Exception(5, 0x02, 0x01), false},
        StandardAnswer{"AddressOutsideTheWindows", Request(5, 0x03, 1008, 1), Exception(5, 0x03, 0x02), false},
        StandardAnswer{"QuantityZero", Request(5, 0x01, 1000, 0), Exception(5, 0x01, 0x03), false},
        StandardAnswer{"MoreThanOneAduHolds", Request(5, 0x04, 1200, 126), Exception(5, 0x04, 0x03), false},
        StandardAnswer{"PastTheWindowsLimit", Request(5, 0x03, 1000, 33), Exception(5, 0x03, 0x03), false},
        StandardAnswer{"UnitNotInTheTable", Request(9, 0x03, 1000, 1), Exception(9, 0x03, 0x0B), false},
        StandardAnswer{"UnitZero", Request(0, 0x06, 1000, 1), Exception(0, 0x06, 0x0B), false},
        StandardAnswer{"WriteThatChangesNothing", Request(5, 0x06, 1008, 1), Exception(5, 0x06, 0x02), false},
        StandardAnswer{"ByteCountDisagrees", Request(5, 0x10, 1000, 2, {0, 1}), Exception(5, 0x10, 0x03), false},
        StandardAnswer{"WriteRegister", Request(5, 0x06, 1000, 7), Request(5, 0x06, 1000, 7), true},
        StandardAnswer{"WriteRegisters", Request(5, 0x10, 1000, 2, {0, 1, 0, 2}), Request(5, 0x10, 1000, 2), true},
        StandardAnswer{"WriteCoils", Request(5, 0x0F, 1000, 3, {5}), Request(5, 0x0F, 1000, 3), true}),
    [](const auto& info) { return std::string(info.param.name); });

// Classic mode answers what it serves and nothing else, and echoes a multiple write whole.
TEST_F(ModbusModes, ClassicModeAnswersOnlyWhatItServes) {
    modbusMode = ModbusMode::kClassic;
    const Bytes write = Request(5, 0x10, 1000, 2, {0, 1, 0, 2});
    for (const Bytes& refused : {Request(5, 0x02, 1000, 1), Request(5, 0x03, 1008, 1), Request(9, 0x03, 1000, 1)}) {
        send(refused);
    }
    EXPECT_TRUE(sent().empty());
    send(write);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], write);
}

struct Traffic {
    const char* name;
    Bytes bytes;
    std::uint64_t reports;
    std::uint8_t function;
    ModbusResult result;
};

class Reports : public ModbusModes, public ::testing::WithParamInterface<Traffic> {};

// Only an RTU's frames and the system's own push functions make it look alive; every request is
// counted by function and result.
TEST_P(Reports, AreTheRtusOwn) {
    modbusMode = ModbusMode::kClassic;
    const Traffic& t = GetParam();
    const auto& count = coreCounts.modbusRequests[ModbusFunctionSlot(t.function)][static_cast<int>(t.result)];
    const std::uint64_t before = count.load();
    send(t.bytes);
    EXPECT_EQ(table.Activity().Read(0).frames, t.reports);
    if (t.function != 0) {
        EXPECT_EQ(count.load(), before + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Traffic, Reports,
    ::testing::Values(Traffic{"Read", Request(5, 0x03, 1000, 1), 0, 0x03, ModbusResult::kOk},
                      Traffic{"ReadUnanswered", Request(5, 0x03, 1008, 1), 0, 0x03, ModbusResult::kNoReply},
                      Traffic{"StandardWrite", Request(5, 0x06, 1000, 7), 0, 0x06, ModbusResult::kOk},
                      Traffic{"FunctionNotServed", Request(5, 0x2B, 1000, 1), 0, 0x2B, ModbusResult::kNoReply},
                      Traffic{"Push", {0, 7, 0, 0, 0, 8, 5, 0x86, 0x03, 0xE8, 0, 0, 0, 7}, 1, 0x86, ModbusResult::kOk},
                      Traffic{"Frame", ToBytes("$000000050010201404111230000011.00$"), 1, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
