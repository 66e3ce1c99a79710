// Time stamps from the network as the history keeps them: bytes that are not UTF-8 (GPRS line
// noise) and backslashes. PostgreSQL stores every reading SQLite stores, each invalid byte as the
// character of its number, and backslashes exactly even where the server's own default would read
// them as escapes.
#include "tests/support/WaitUntil.h"
#include "tests/system/SystemFixture.h"

namespace system_test {
namespace {

class StoredTextTest : public OnEachEngine<SystemTest> {
protected:
    void SetUp() override {
        OnEachEngine<SystemTest>::SetUp();
        if (OnPostgres()) SetServerDefault("standard_conforming_strings = off");
        Register(123);
        Start();
    }

    void TearDown() override {
        OnEachEngine<SystemTest>::TearDown();
        if (OnPostgres()) SetServerDefault(std::string());
    }

    // As if the server had been started with the setting (empty: back to the cluster's own).
    static void SetServerDefault(const std::string& setting) {
        PostgresCluster& cluster = PostgresCluster::Instance();
        ASSERT_TRUE(cluster.Sql(setting.empty() ? "ALTER SYSTEM RESET standard_conforming_strings"
                                                : "ALTER SYSTEM SET " + setting));
        ASSERT_TRUE(cluster.Sql("SELECT pg_reload_conf()"));
    }
};
INSTANTIATE_TEST_SUITE_P(Engines, StoredTextTest, EachEngine(), EngineName);

TEST_P(StoredTextTest, TimeStampsWithBytesThatAreNotUtf8OrWithBackslashes) {
    const std::vector<std::string> stamps = {
        "20261207\xFF"
        "20000",
        "2026120712000\xC3", "2026\\12\\n00000", "2026120712000\\"};
    const int client = Client();
    for (const std::string& stamp : stamps)
        ASSERT_TRUE(loopback::SendText(client, "$00000123AB10" + stamp + "01112.34$"));
    close(client);
    ASSERT_TRUE(WaitUntil([&] { return Count("FULLRCDS") == 4 && Count("123_AIN1") == 4; })) << Count("FULLRCDS");
    const std::vector<std::string> stored =
        OnPostgres() ? std::vector<std::string>{"20261207\xC3\xBF" "20000", "2026120712000\xC3\x83", stamps[2], stamps[3]}
                     : stamps;
    EXPECT_EQ(Column("SELECT RTIME FROM FULLRCDS ORDER BY RID"), stored);
    EXPECT_EQ(Column("SELECT RTIME FROM 123_AIN1 ORDER BY RID"), stored);
}

}  // namespace
}  // namespace system_test
