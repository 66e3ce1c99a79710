#pragma once

// The real ODBC stack for tests, never touching /etc.
//
// Per process (a GoogleTest environment, set up before the first test and so before the first
// ODBC call, since unixODBC caches its file locations at first use): a temporary directory with
// etc/odbcinst.ini naming the build tree's driver as "Telvorn RTUDB" (library and Setup), an
// empty etc/odbc.ini, and HOME, ODBCSYSINI and ODBCINI pointing there. The system data source
// "RTUDB" is then registered through SQLConfigDataSource as the program registers it:
// DBQ=~/rtu/RTU.db, so each test reaches its own file by its own HOME.
//
// Per test (OdbcTest): a directory of its own with rtu/ inside; HOME points at it. A test on
// PostgreSQL (Engine() says which) has "RTUDB" point at the process's private cluster instead,
// in a schema of the test's own: the same statements, the same expected rows.

#include "tests/storage/PostgresCluster.h"

#include <gtest/gtest.h>

#include <odbcinst.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef TELVORN_RTUDB_DRIVER
#error "TELVORN_RTUDB_DRIVER must name the build tree's libtelvorn-rtudb.so"
#endif

class OdbcTestEnvironment : public ::testing::Environment {
public:
    static constexpr const char* kDriverName = "Telvorn RTUDB";
    static constexpr const char* kDataSource = "RTUDB";

    static OdbcTestEnvironment& Instance() {
        static auto* instance =
            static_cast<OdbcTestEnvironment*>(::testing::AddGlobalTestEnvironment(new OdbcTestEnvironment));
        return *instance;
    }

    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/telvorn-odbc-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        const std::filesystem::path etc = root_ / "etc";
        std::filesystem::create_directories(etc);
        std::filesystem::create_directories(root_ / "home");
        std::ofstream(etc / "odbcinst.ini") << "[" << kDriverName << "]\nDescription=Telvorn RTUDB (tests)\n"
                                            << "Driver=" << TELVORN_RTUDB_DRIVER << "\n"
                                            << "Setup=" << TELVORN_RTUDB_DRIVER << "\n";
        std::ofstream(etc / "odbc.ini").flush();
        setenv("ODBCSYSINI", etc.c_str(), 1);
        setenv("ODBCINI", (root_ / "home" / ".odbc.ini").c_str(), 1);
        setenv("HOME", (root_ / "home").c_str(), 1);
        ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, kDriverName,
                                        "DSN=RTUDB\0DBQ=~/rtu/RTU.db\0DEFAULTDIR=~/rtu\0"));
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    const std::filesystem::path& Root() const { return root_; }

    // A fresh directory for one test.
    std::filesystem::path NewTestDirectory() {
        const std::filesystem::path dir = root_ / ("test" + std::to_string(++testCount_));
        std::filesystem::create_directories(dir / "rtu");
        return dir;
    }

private:
    std::filesystem::path root_;
    std::atomic<int> testCount_{0};
};

// Registers the environment in every test executable that includes this header.
inline OdbcTestEnvironment& kOdbcTestEnvironment = OdbcTestEnvironment::Instance();

enum class TestEngine { Sqlite, Postgres };

class OdbcTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = OdbcTestEnvironment::Instance().NewTestDirectory();
        setenv("HOME", home_.c_str(), 1);
        if (Engine() == TestEngine::Postgres) {
            PostgresCluster& cluster = PostgresCluster::Instance();
            schema_ = cluster.NewSchema();
            SetDataSourceKeys({{"ENGINE", "postgresql"},
                               {"SERVER", cluster.SocketDirectory()},
                               {"PORT", cluster.Port()},
                               {"DATABASE", PostgresCluster::kDatabase},
                               {"SCHEMA", schema_}});
        } else {
            PointDataSource({{"ENGINE", nullptr},
                             {"SERVER", nullptr},
                             {"PORT", nullptr},
                             {"DATABASE", nullptr},
                             {"SCHEMA", nullptr}});
        }
    }

    // The engine behind "RTUDB" for this test; parameterised fixtures answer with their parameter.
    virtual TestEngine Engine() const { return TestEngine::Sqlite; }
    bool OnPostgres() const { return Engine() == TestEngine::Postgres; }

    // What SQLConnect needs: the SQLite file has no accounts; the server checks the password.
    std::string User() const { return OnPostgres() ? PostgresCluster::kUser : ""; }
    std::string Password() const { return OnPostgres() ? PostgresCluster::kPassword : ""; }

    std::filesystem::path DatabaseFile() const { return home_ / "rtu" / "RTU.db"; }

    // Sets (or, for a null value, removes) keys of the system data source "RTUDB".
    static void PointDataSource(std::initializer_list<std::pair<const char*, const char*>> keys) {
        UWORD mode = ODBC_BOTH_DSN;
        SQLGetConfigMode(&mode);
        SQLSetConfigMode(ODBC_SYSTEM_DSN);
        for (const auto& [key, value] : keys)
            SQLWritePrivateProfileString(OdbcTestEnvironment::kDataSource, key, value, "odbc.ini");
        SQLSetConfigMode(mode);
    }

    static void SetDataSourceKeys(std::initializer_list<std::pair<const char*, std::string>> keys) {
        for (const auto& [key, value] : keys) PointDataSource({{key, value.c_str()}});
    }

    std::filesystem::path home_;
    std::string schema_;  // the test's own schema on PostgreSQL
};

// Runs a fixture's TEST_P tests on each engine: `using XTest = OnEachEngine<XFixture>;` and
// INSTANTIATE_TEST_SUITE_P(Engines, XTest, EachEngine(), EngineName).
template <class Fixture>
class OnEachEngine : public Fixture, public ::testing::WithParamInterface<TestEngine> {
protected:
    TestEngine Engine() const override { return this->GetParam(); }
};

inline auto EachEngine() { return ::testing::Values(TestEngine::Sqlite, TestEngine::Postgres); }

inline const char* EngineLabel(TestEngine engine) { return engine == TestEngine::Postgres ? "postgresql" : "sqlite"; }

inline std::string EngineName(const ::testing::TestParamInfo<TestEngine>& info) { return EngineLabel(info.param); }
