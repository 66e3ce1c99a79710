// unixODBC's own client reads what the access layer wrote: a real client that we did not write.
#include "tests/storage/sql/SqlLayerFixture.h"

#include "storage/sql/SQLInsert.h"
#include "tests/support/RunCommand.h"

#include <cstdio>
#include <fstream>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TELVORN_SANITIZED_DRIVER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TELVORN_SANITIZED_DRIVER 1
#endif
#endif

namespace {

class IsqlTest : public OdbcTest {
protected:
    void SetUp() override {
#ifdef TELVORN_SANITIZED_DRIVER
        GTEST_SKIP() << "an uninstrumented isql cannot load the sanitizer-built driver";
#endif
        if (!std::filesystem::exists("/usr/bin/isql")) GTEST_SKIP() << "isql not installed";
        OdbcTest::SetUp();
    }

    // Runs isql in batch mode on one statement and returns what it printed.
    std::string RunIsql(const std::string& dataSource, const std::string& statement) {
        const std::filesystem::path input = home_ / "isql-input.sql";
        std::ofstream(input) << statement << "\n";
        const std::string command = "/usr/bin/isql -b -v " + dataSource + " < " + input.string() + " 2>&1";
        return RunCommand(command).output;
    }
};

TEST_F(IsqlTest, ListsRowsTheLayerWroteThroughARegisteredDataSource) {
    ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, OdbcTestEnvironment::kDriverName,
                                    "DSN=ISQLDB\0DBQ=~/rtu/RTU.db\0DEFAULTDIR=~/rtu\0"));
    CSQLDatabase db;
    ASSERT_TRUE(db.Connect("ISQLDB", "", ""));
    ASSERT_TRUE(db.Execute("CREATE TABLE RTU_TAB(UID TEXT(32) PRIMARY KEY, RDATA1 TEXT(32))"));
    for (const auto& [uid, name] : {std::pair{"7", "O'Brien's pump"}, std::pair{"12", "Tank"}}) {
        CSQLInsert insert("RTU_TAB");
        insert.AddField("UID", uid, kValueText);
        insert.AddField("RDATA1", name, kValueText);
        ASSERT_TRUE(db.Execute(insert.BuildSQL()));
    }
    const std::string output = RunIsql("ISQLDB", "SELECT * FROM RTU_TAB ORDER BY UID");
    const auto first = output.find("| 12 ");
    const auto second = output.find("| 7 ");
    EXPECT_NE(first, std::string::npos) << output;
    EXPECT_NE(second, std::string::npos) << output;
    EXPECT_LT(first, second) << output;
    EXPECT_NE(output.find("O'Brien's pump"), std::string::npos) << output;
    EXPECT_NE(output.find("2 rows fetched"), std::string::npos) << output;
}

TEST_F(IsqlTest, ReportsTheDriversRefusal) {
    const std::string output = RunIsql(OdbcTestEnvironment::kDataSource, "SELECT * FROM MISSING");
    EXPECT_NE(output.find("no such table: MISSING"), std::string::npos) << output;
}

}  // namespace
