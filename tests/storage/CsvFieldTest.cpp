#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "storage/CsvField.h"
#include "storage/HistoryReader.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempWorkingDirectory.h"

namespace {

struct FieldCase {
    const char* text;
    const char* written;
};

class CsvFieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(CsvFieldTest, IsWrittenSoASpreadsheetReadsTheText) { EXPECT_EQ(CsvField(GetParam().text), GetParam().written); }

INSTANTIATE_TEST_SUITE_P(Fields, CsvFieldTest,
                         testing::Values(FieldCase{"2014-04-11 12:00:00", "2014-04-11 12:00:00"},
                                         FieldCase{"-2.5", "-2.5"}, FieldCase{"+.75", "+.75"},
                                         FieldCase{"-1.0e+20", "-1.0e+20"}, FieldCase{"", ""},
                                         FieldCase{"12,5", "\"12,5\""}, FieldCase{"say \"hi\"", "\"say \"\"hi\"\"\""},
                                         FieldCase{"a\r\nb", "\"a\r\nb\""}, FieldCase{"=1+1", "'=1+1"},
                                         FieldCase{"+1+1", "'+1+1"}, FieldCase{"-", "'-"}, FieldCase{"-1e", "'-1e"},
                                         FieldCase{"@SUM(A1)", "'@SUM(A1)"}, FieldCase{"=1,2", "\"'=1,2\""}));

// The reader a spreadsheet stands for: Python's csv module, fed the file as written.
TEST(CsvExport, NetworkTextsRoundTripThroughPythonsCsvReader) {
    TempWorkingDirectory directory;
    directory.Write("rtu_ui.ini", "[Page2Text]\nDATALISTC0=No\nDATALISTC1=Value\nDATALISTC2=RTU, time\nDATALISTC3=x\n");
    const std::vector<HistoryRow> rows = {{"1", "-2.5", "2014-04-11\r\n12:00", "a,b", false},
                                          {"2", "7", "=1+1", "say \"hi\"", false}};
    std::ofstream(directory.Path() / "out.csv", std::ios::binary) << [&] {
        std::ostringstream text;
        WriteHistoryCsv(text, "2 Records, Unit:12", rows);
        return text.str();
    }();

    const CommandResult parsed = RunCommand(
        "/usr/bin/python3 -c 'import csv, json; print(json.dumps(list(csv.reader(open(\"out.csv\", newline=\"\")))))'");

    ASSERT_EQ(parsed.status, 0);
    EXPECT_EQ(
        parsed.output,
        "[[\"2 Records, Unit:12\"], [\"No\", \"Value\", \"RTU, time\", \"x\"], "
        "[\"0\", \"-2.5\", \"2014-04-11\\r\\n12:00\", \"a,b\"], [\"1\", \"7\", \"'=1+1\", \"say \\\"hi\\\"\"]]\n");
}

}  // namespace
