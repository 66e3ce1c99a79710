#include <gtest/gtest.h>

#include "tests/tools/rtusim/Words.h"
#include "tools/rtusim/RequestMix.h"
#include "tools/rtusim/SimOptions.h"
#include "tools/rtusim/SimRunner.h"

using namespace rtusim;

namespace {

SimOptions parsed(const std::string& line) {
    const ParsedOptions result = parseOptions(words(line));
    EXPECT_TRUE(result.options.has_value()) << line << ": " << result.error;
    return result.options.value_or(SimOptions{});
}

}  // namespace

TEST(SimOptions, DefaultsSendEveryFrameToUnitOneOnLoopback) {
    const SimOptions o = parsed("--port 5000");
    EXPECT_EQ(o.host, "127.0.0.1");
    EXPECT_EQ(o.port, 5000);
    EXPECT_EQ(o.connections, 1u);
    EXPECT_EQ(o.units, std::vector<std::uint32_t>{1});
    EXPECT_EQ(o.frames.size(), 21u);
    EXPECT_TRUE(o.modbus.empty());
    EXPECT_FALSE(o.checkValues);
}

TEST(SimOptions, UnitsTakeRangesAndDropRepeats) {
    EXPECT_EQ(parsed("--port 1 --units 1-3,7,2").units, (std::vector<std::uint32_t>{1, 2, 3, 7}));
}

TEST(SimOptions, FunctionsTakeWeightsAndGroups) {
    const SimOptions o = parsed("--port=1 --frames 10:5,83 --modbus reads:2");
    EXPECT_EQ(o.frames, (std::vector<WeightedFunction>{{0x10, 5}, {0x83, 1}}));
    EXPECT_EQ(o.modbus, (std::vector<WeightedFunction>{{0x01, 2}, {0x03, 2}, {0x04, 2}}));
    EXPECT_EQ(parsed("--port 1 --modbus 0f").frames.size(), 0u);  // only what was asked for
}

TEST(SimOptions, TotalRateIsSharedByTheConnections) {
    EXPECT_DOUBLE_EQ(parsed("--port 1 --connections 4 --total-rate 10").rate, 2.5);
    EXPECT_DOUBLE_EQ(parsed("--port 1 --connections 4 --rate 3").rate, 3.0);
}

TEST(SimOptions, HelpIsNotAnError) {
    const ParsedOptions result = parseOptions({"--port", "1", "--help"});
    EXPECT_TRUE(result.help);
    EXPECT_FALSE(result.options.has_value());
}

// A master counting from 0x23ff reaches the ids that begin with "$" on its second request.
TEST(SimOptions, TransactionStartCountsThroughIdsThatBeginWithAStartMark) {
    EXPECT_EQ(parsed("--port 1 --modbus 03 --transaction-start 9215").transactionStart, 0x23ff);
    const SimOptions o = parsed("--port 1 --modbus 03 --transaction-start 0x23ff");
    RequestMix mix(o, o.units, 1);
    std::vector<std::uint16_t> ids;
    for (int i = 0; i < 3; ++i) {
        const Request request = mix.next(0);
        ids.push_back(static_cast<std::uint16_t>(request.bytes.at(0) << 8 | request.bytes.at(1)));
    }
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{0x23ff, 0x2400, 0x2401}));
}

class UsageError : public ::testing::TestWithParam<const char*> {};

TEST_P(UsageError, IsRefusedWithAMessage) {
    const ParsedOptions result = parseOptions(words(GetParam()));
    EXPECT_FALSE(result.options.has_value());
    EXPECT_FALSE(result.help);
    EXPECT_FALSE(result.error.empty());
}

INSTANTIATE_TEST_SUITE_P(SimOptions, UsageError,
                         ::testing::Values("", "--port 0", "--port 70000", "--port 1 --bogus 3", "--port 1 --rate",
                                           "--port 1 --rate 0", "--port 1 --rate fast",
                                           "--port 1 --connections 1000 --total-rate 0.5", "--port 1 --duration -1",
                                           "--port 1 --connections 1001", "--port 1 --units 0", "--port 1 --units 5-3",
                                           "--port 1 --units 70000", "--port 1 --reopen-delay -5",
                                           "--port 1 --frames 99", "--port 1 --frames 10:0", "--port 1 --modbus 02",
                                           "--port 1 --frames none", "--port 1 --transaction-start 65536",
                                           "--port 1 --modbus reads --units 300",
                                           "--port 1 --check-values --connections 3 --units 1-2",
                                           "--port 1 --check-values --modbus writes --connections 2 --units 1,300"));

TEST(ShareUnits, ValueChecksDealModbusUnitsFirst) {
    const SimOptions o = parsed("--port 1 --check-values --connections 2 --units 300,1,2,400");
    EXPECT_EQ(shareUnits(o), (std::vector<std::vector<std::uint32_t>>{{1, 300}, {2, 400}}));
    const SimOptions shared = parsed("--port 1 --connections 2 --units 300,1");
    EXPECT_EQ(shareUnits(shared), (std::vector<std::vector<std::uint32_t>>{{300, 1}, {300, 1}}));
}
