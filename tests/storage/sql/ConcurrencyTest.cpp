// One CSQLDatabase shared as the program shares it: writers serialised by DatabaseMutex, and
// recordsets reading on the same connection without it.
#include "tests/storage/sql/SqlLayerFixture.h"

#include "storage/sql/DatabaseMutex.h"

#include <atomic>
#include <functional>
#include <thread>

namespace {

constexpr int kWriters = 4;
constexpr int kRowsPerWriter = 150;

class ConcurrencyFixture : public SqlLayerTest {
protected:
    void SetUp() override {
        SqlLayerTest::SetUp();
        ASSERT_TRUE(
            Exec("CREATE TABLE 12_AIN0(RID INT PRIMARY KEY, RVALUE FLOAT, RTIME TEXT(32), LTIME TEXT(32), "
                 "RTYPE INT)"));
    }

    // Inserts this writer's rows, each under the mutex as the history writers do; counts failures.
    void Write(int writer) {
        for (int i = 0; i < kRowsPerWriter; ++i) {
            const int rid = writer * kRowsPerWriter + i;
            const std::string statement = "INSERT INTO 12_AIN0(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (" +
                                          std::to_string(rid) + ", 1.5, 'l', 't', 0)";
            std::lock_guard lock(DatabaseMutex);
            try {
                if (!db.Execute(statement)) ++failures;
            } catch (const CSQLException& error) {
                ++failures;
                ADD_FAILURE() << error.sqlState << " " << error.message;
            }
        }
    }

    // Reads the whole table through its own recordset; returns the rows seen.
    int ReadAll() {
        try {
            CSQLRecordset recordset(db);
            recordset.SetSQL("SELECT * FROM 12_AIN0");
            recordset.Open();
            int rows = 0;
            while (recordset.MoveNext()) {
                recordset.GetField(1, kValueText);
                ++rows;
            }
            return rows;
        } catch (const CSQLException& error) {
            ++failures;
            ADD_FAILURE() << error.sqlState << " " << error.message;
            return -1;
        }
    }

    void RunWritersWith(const std::function<void()>& reader) {
        std::vector<std::thread> threads;
        for (int writer = 0; writer < kWriters; ++writer) threads.emplace_back([this, writer] { Write(writer); });
        threads.emplace_back(reader);
        for (auto& thread : threads) thread.join();
    }

    std::atomic<int> failures{0};
    std::atomic<bool> writersDone{false};
};

using ConcurrencyTest = OnEachEngine<ConcurrencyFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, ConcurrencyTest, EachEngine(), EngineName);

TEST_P(ConcurrencyTest, WritersAndReaderUnderTheMutexLoseNoRow) {
    std::atomic<int> reads{0};
    RunWritersWith([&] {
        while (reads < 20) {
            std::lock_guard lock(DatabaseMutex);
            ASSERT_GE(ReadAll(), 0);
            ++reads;
        }
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(Count("12_AIN0"), kWriters * kRowsPerWriter);
}

TEST_P(ConcurrencyTest, RecordsetsWithoutTheMutexReadBesideTheWriters) {
    std::atomic<int> reads{0};
    RunWritersWith([&] {
        std::vector<std::thread> readers;
        for (int r = 0; r < 2; ++r)
            readers.emplace_back([&] {
                for (int i = 0; i < 20; ++i) {
                    ASSERT_GE(ReadAll(), 0);
                    ++reads;
                }
            });
        for (auto& thread : readers) thread.join();
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(reads, 40);
    EXPECT_EQ(ReadAll(), kWriters * kRowsPerWriter);
}

// A row committed while a recordset on the same connection is still open is already visible
// to a second, independent connection: an open cursor does not hold the commit back.
TEST_P(ConcurrencyTest, CommitIsVisibleElsewhereWhileARecordsetIsOpen) {
    Write(0);
    CSQLRecordset open(db);
    open.SetSQL("SELECT * FROM 12_AIN0");
    ASSERT_TRUE(open.Open());
    ASSERT_TRUE(open.MoveNext());
    ASSERT_TRUE(Exec("INSERT INTO 12_AIN0(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (99999, 1, 'l', 't', 0)"));
    CSQLDatabase other;
    ASSERT_TRUE(other.Connect(OdbcTestEnvironment::kDataSource, User(), Password()));
    EXPECT_EQ(FirstField(other, "SELECT COUNT(*) FROM 12_AIN0 WHERE RID=99999"), "1");
}

}  // namespace
