#include "platform/profile/IniFileReader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/TempWorkingDirectory.h"

namespace {

// A reader on a file of its own in a per-test directory.
class IniFileReaderTest : public ::testing::Test {
protected:
    void SetUp() override { reader.setFile((directory.Path() / "data_rtu.ini").string()); }

    void Write(const std::string& text) {
        std::ofstream file(reader.file(), std::ios::binary | std::ios::trunc);
        file << text;
    }
    std::string Read(const char* section, const char* key) { return reader.readValue(section, key); }

    TempDirectory directory{"telvorn-ini"};
    IniFileReader reader;
};

struct LookupCase {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    const char* expected;
};

class IniLookupTest : public IniFileReaderTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(IniLookupTest, ReadsByPrivateProfileRules) {
    Write(GetParam().text);
    EXPECT_EQ(Read(GetParam().section, GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniLookupTest,
    ::testing::Values(LookupCase{"Plain", "[SYSCONFIG]\nPORT=502\n", "SYSCONFIG", "PORT", "502"},
                      LookupCase{"NamesIgnoreCase", "[sysconfig]\nport=502\n", "SYSCONFIG", "PORT", "502"},
                      LookupCase{"BlanksAroundDropped", "  [ Titles ]  \n  SVRSTART  =  Server on  \n", "Titles",
                                 "SVRSTART", "Server on"},
                      LookupCase{"QuotesStrippedInnerBlanksKept", "[T]\nK=\"  two words  \"\n", "T", "K",
                                 "  two words  "},
                      LookupCase{"LoneQuoteKept", "[T]\nK=\"open\n", "T", "K", "\"open"},
                      LookupCase{"CrLfLines", "[T]\r\nK=v\r\nL=w\r\n", "T", "L", "w"},
                      LookupCase{"FirstKeyWins", "[T]\nK=first\nK=second\n", "T", "K", "first"},
                      LookupCase{"FirstSectionOnly", "[T]\nA=1\n[U]\nK=u\n[T]\nK=late\n", "T", "K", ""},
                      LookupCase{"KeyInOtherSectionIgnored", "[U]\nK=u\n[T]\nL=t\n", "T", "K", ""},
                      LookupCase{"MissingSection", "[U]\nK=u\n", "T", "K", ""},
                      LookupCase{"KeyBeforeAnySectionIgnored", "K=top\n[T]\n", "T", "K", ""},
                      LookupCase{"EqualsInsideValueKept", "[T]\nK=a=b\n", "T", "K", "a=b"},
                      LookupCase{"EmptyValue", "[T]\nK=\nL=x\n", "T", "K", ""},
                      LookupCase{"EightBitBytesUnchanged", "[T]\nK=\xC4\xE8\xF0\n", "T", "K", "\xC4\xE8\xF0"},
                      LookupCase{"Utf8MarkBeforeFirstSection", "\xEF\xBB\xBF[T]\nK=v\n", "T", "K", "v"},
                      LookupCase{"LastLineWithoutNewline", "[T]\nK=end", "T", "K", "end"}),
    [](const ::testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

TEST_F(IniFileReaderTest, MissingFileReadsEmpty) {
    EXPECT_EQ(Read("SYSCONFIG", "PORT"), "");
    EXPECT_EQ(reader.readNumber("SYSCONFIG", "PORT"), 0);
}

TEST_F(IniFileReaderTest, LongValueIsCutTo254Bytes) {
    std::string longValue(400, 'x');
    Write("[T]\nK=" + longValue + "\n");
    EXPECT_EQ(Read("T", "K"), std::string(kMaxIniValueBytes, 'x'));
}

TEST_F(IniFileReaderTest, EveryReadSeesTheFileAsItIsNow) {
    Write("[Messages]\nTEXT=old\n");
    EXPECT_EQ(Read("Messages", "TEXT"), "old");
    Write("[Messages]\nTEXT=new\n");
    EXPECT_EQ(Read("Messages", "TEXT"), "new");
}

TEST_F(IniFileReaderTest, RelativePathResolvesAgainstTheCurrentDirectoryAtReadTime) {
    IniFileReader relative("./data_rtu.ini");
    EXPECT_EQ(relative.readValue("T", "K"), "");
    const TempWorkingDirectory working("telvorn-ini-cwd");
    working.Write("data_rtu.ini", "[T]\nK=here\n");
    EXPECT_EQ(relative.readValue("T", "K"), "here");
}

TEST_F(IniFileReaderTest, NumbersFollowTheDecimalRule) {
    Write("[SYSCONFIG]\nPORT=502abc\nTCPTO=\nECHOSERVER=yes\n");
    EXPECT_EQ(reader.readNumber("SYSCONFIG", "PORT"), 502);
    EXPECT_EQ(reader.readNumber("SYSCONFIG", "TCPTO"), 0);
    EXPECT_EQ(reader.readNumber("SYSCONFIG", "ECHOSERVER"), 0);
}

struct NumberCase {
    const char* text;
    int expected;
};

class IniNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(IniNumberTest, ParsesLeadingDigits) { EXPECT_EQ(ParseIniNumber(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(DecimalRule, IniNumberTest,
                         ::testing::Values(NumberCase{"502", 502}, NumberCase{"  42", 42}, NumberCase{"-7x", -7},
                                           NumberCase{"+8", 8}, NumberCase{"", 0}, NumberCase{"abc", 0},
                                           NumberCase{"-", 0}, NumberCase{"12 34", 12}, NumberCase{"0x1F", 0},
                                           NumberCase{"99999999999999999999", INT_MAX},
                                           NumberCase{"-99999999999999999999", INT_MIN}),
                         [](const ::testing::TestParamInfo<NumberCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

}  // namespace
