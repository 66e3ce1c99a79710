// /healthz's verdict: healthy exactly while no reading is being lost, saying which way readings go.
#include "web/HealthCheck.h"

#include <gtest/gtest.h>

namespace {

struct HealthCase {
    const char* name;
    bool served;
    bool connected;
    SpoolFigures spool;
    bool ok;
    const char* reason;
};

SpoolFigures Spool(void (*change)(SpoolFigures&) = nullptr) {
    SpoolFigures spool;
    spool.spoolOpen = spool.fileOpen = true;
    if (change != nullptr) change(spool);
    return spool;
}

class HealthCheckTest : public ::testing::TestWithParam<HealthCase> {};

TEST_P(HealthCheckTest, TellsWhetherReadingsAreLost) {
    const HealthCase& c = GetParam();
    const Health health = JudgeHealth(c.served, &c.spool, c.connected, false);
    EXPECT_EQ(health.ok, c.ok);
    EXPECT_EQ(health.reason, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HealthCheckTest,
    ::testing::Values(
        HealthCase{"answers", true, true, Spool(), true, "ok: database answers"},
        HealthCase{"away", true, false, Spool([](SpoolFigures& s) {
                       s.databaseAway = true;
                       s.readingsHeld = 12;
                   }),
                   true, "ok: database away, the spool takes every reading (12 held)"},
        HealthCase{"file_at_its_bound", true, true, Spool([](SpoolFigures& s) {
                       s.databaseAway = true;
                       s.trouble = "file full (64 KiB)";
                   }),
                   true, "ok: database away, the spool takes every reading (0 held)"},
        HealthCase{"refusing", true, true, Spool([](SpoolFigures& s) {
                       s.databaseAway = s.refusing = true;
                       s.refusedWhy = "disk full and memory full (65536 KiB)";
                   }),
                   false, "readings refused: disk full and memory full (65536 KiB)"},
        HealthCase{"disk_full", true, true, Spool([](SpoolFigures& s) {
                       s.fileFailing = true;
                       s.trouble = "disk full";
                       s.memoryReadings = 3;
                   }),
                   false, "spool unusable: disk full; 3 readings held in memory"},
        HealthCase{"no_file", true, true, Spool([](SpoolFigures& s) {
                       s.fileOpen = false;
                       s.trouble = "unable to open database file";
                   }),
                   false, "spool unusable: unable to open database file; 0 readings held in memory"},
        HealthCase{"stalled", true, true,
                   Spool([](SpoolFigures& s) { s.stalled = "spool ./RTUDB-spool.db cannot be read (I/O error)"; }),
                   false, "spool unusable: forwarding stalled: spool ./RTUDB-spool.db cannot be read (I/O error)"},
        HealthCase{"no_spool", true, true, SpoolFigures{}, false, "spool unusable: not open"},
        HealthCase{"database_closed", true, false, Spool(), false, "database down"},
        HealthCase{"port_not_served", false, true, Spool(), false, "RTU port not listening"}),
    [](const ::testing::TestParamInfo<HealthCase>& info) { return std::string(info.param.name); });

}  // namespace
