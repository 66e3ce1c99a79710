#pragma once

// Storage operations through the whole stack (operation -> access layer -> unixODBC -> RTUDB driver
// -> a SQLite file of the test's own), with the test's directory as the current one so the
// operations read its INI files, and a message box that records every box and answers from a script.

#include "tests/storage/OdbcTestEnvironment.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile/MessageBox.h"
#include "storage/EventLog.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/ReadFile.h"
#include "tests/support/TempWorkingDirectory.h"

// Every message text is its own key, so a box shows which message it was.
inline const char* const kMessagesIni =
    "[ERRORS]\nOPEN_DB_ERR=OPEN_DB_ERR\nQUERY_TIMEOUT=QUERY_TIMEOUT\n"
    "[SUCCESS]\nOPEN_DB_OK=OPEN_DB_OK\nCREATE_RTU_TAB_OK=CREATE_RTU_TAB_OK\nEXPORT_CSV_OK=EXPORT_CSV_OK\n"
    "[QUESTION]\nDELETE_RTU=DELETE_RTU\nDELETE_RID=DELETE_RID\nDELETE_ALL=DELETE_ALL\n";

using Rows = std::vector<std::vector<std::string>>;

class StorageTest : public OdbcTest {
protected:
    void SetUp() override {
        OdbcTest::SetUp();
        OpenProcessEventLog();
        working_.emplace(home_);
        WriteFile("Messages.ini", kMessagesIni);
        WriteFile("data_rtu.ini", DatabaseSettings());
        logStart_ = LogText().size();
    }

    void TearDown() override {
        db.Close();
        working_.reset();
    }

    void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(home_ / name, std::ios::binary | std::ios::trunc) << text;
    }

    // Connected, with no box shown and no table made.
    void Connect() { ASSERT_TRUE(db.Connect(OdbcTestEnvironment::kDataSource, User(), Password())); }

    bool Exec(const std::string& statement) { return db.Execute(statement); }

    // Every row of a query, `columns` columns as text.
    Rows Query(const std::string& select, int columns) {
        CSQLRecordset recordset(db);
        recordset.SetSQL(select);
        EXPECT_TRUE(recordset.Open()) << select;
        Rows rows;
        while (recordset.MoveNext()) {
            rows.emplace_back();
            for (int column = 1; column <= columns; ++column) rows.back().push_back(recordset.GetField(column, 1));
        }
        return rows;
    }

    std::vector<std::string> Column(const std::string& select) {
        std::vector<std::string> values;
        for (const auto& row : Query(select, 1)) values.push_back(row.at(0));
        return values;
    }

    int Count(const std::string& table) { return std::stoi(Column("SELECT COUNT(*) FROM " + table).at(0)); }

    // The names of the tables, in creation order, as the program spells them (PostgreSQL keeps
    // them in lower case).
    std::vector<std::string> Tables() {
        if (OnPostgres())
            return Column(
                "SELECT upper(relname) FROM pg_class WHERE relkind='r' AND "
                "relnamespace=current_schema()::regnamespace ORDER BY oid");
        return Column("SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid");
    }

    bool HasTable(const std::string& name) {
        const std::vector<std::string> tables = Tables();
        return std::find(tables.begin(), tables.end(), name) != tables.end();
    }

    // The RTU_DB section of data_rtu.ini of data_rtu.ini with the engine's user and password.
    std::string DatabaseSettings() const { return "[RTU_DB]\nUSER=" + User() + "\nPWD=" + Password() + "\n"; }

    // The event-log lines written since the test began, without their time prefixes.
    std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        const std::string text = LogText().substr(logStart_);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string line = text.substr(start, end - start);
            lines.push_back(line.size() > 21 ? line.substr(21) : line);
        }
        return lines;
    }

    CSQLDatabase db;
    FakeMessageBox box;

private:
    // The process-wide log, wherever an earlier test opened it, now writes to the environment's root.
    static void OpenProcessEventLog() {
        ProcessEventLog().Close();
        ProcessEventLog().Open((OdbcTestEnvironment::Instance().Root() / "Log.txt").c_str());
    }

    static std::string LogText() { return ReadFile(OdbcTestEnvironment::Instance().Root() / "Log.txt"); }

    std::optional<ScopedWorkingDirectory> working_;
    std::size_t logStart_ = 0;
};
