#include <gtest/gtest.h>

#include "web/LoginThrottle.h"

namespace {

using namespace std::chrono_literals;

struct DelayCase {
    int failures;
    LoginThrottle::Clock::duration delay;
};

class LoginThrottleTest : public testing::TestWithParam<DelayCase> {};

TEST_P(LoginThrottleTest, DelayGrowsFromTheFifthWrongPassword) {
    LoginThrottle throttle;
    const auto start = LoginThrottle::Clock::now();
    for (int i = 0; i < GetParam().failures; ++i) throttle.Failed("192.0.2.7", start);
    EXPECT_EQ(throttle.Delay("192.0.2.7", start), GetParam().delay);
    EXPECT_EQ(throttle.Delay("192.0.2.8", start), 0s);
}

INSTANTIATE_TEST_SUITE_P(Failures, LoginThrottleTest,
                         testing::Values(DelayCase{4, 0s}, DelayCase{5, 1s}, DelayCase{6, 2s}, DelayCase{9, 16s},
                                         DelayCase{40, LoginThrottle::kLongestDelay}));

TEST(LoginThrottle, ForgetsAtTheRightPasswordOrAfterAQuietWhile) {
    LoginThrottle throttle;
    const auto start = LoginThrottle::Clock::now();
    for (int i = 0; i < 6; ++i) throttle.Failed("a", start);
    for (int i = 0; i < 6; ++i) throttle.Failed("b", start);
    throttle.Succeeded("a");
    EXPECT_EQ(throttle.Delay("a", start), 0s);
    EXPECT_EQ(throttle.Delay("b", start + LoginThrottle::kForgetAfter - 1s), 2s);
    EXPECT_EQ(throttle.Delay("b", start + LoginThrottle::kForgetAfter), 0s);
}

}  // namespace
