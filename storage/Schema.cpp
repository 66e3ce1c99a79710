#include "storage/Schema.h"

#include "storage/sql/ComposeStatement.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"

namespace {

// Statements of this module fit easily; the area only guards against an absurd unit id.
constexpr std::size_t kStatementArea = 512;

// SQLSTATE of a CREATE TABLE on an existing table.
constexpr const char* kTableExists = "42S01";

const char* const kValueTypeNames[] = {"BYTE", "FLOAT", "TEXT(128)", "INT"};

std::vector<ChannelTableSpec> BuildChannelTableSet() {
    std::vector<ChannelTableSpec> set;
    for (int n = 0; n < 16; ++n) {
        set.push_back({"DIN", n, kChannelByte});
        set.push_back({"DOUT", n, kChannelByte});
    }
    set.push_back({"BATT", -1, kChannelByte});
    set.push_back({"SIGNAL", -1, kChannelByte});
    set.push_back({"ITEMP", -1, kChannelFloat});
    set.push_back({"IHUMI", -1, kChannelFloat});
    for (int n = 0; n < 8; ++n) {
        for (const char* name : {"AIN", "ETEMP", "EHUMI", "GRYCODE", "SENSOR", "ECOUNTER", "ECOUNTER_REPORT"})
            set.push_back({name, n, kChannelFloat});
    }
    for (int n = 0; n < 64; ++n) set.push_back({"MBUSREG", n, kChannelFloat});
    set.push_back({"RMESSAGES", -1, kChannelText});
    set.push_back({"RALARMS", -1, kChannelText});
    return set;
}

}  // namespace

const char* const kFullRcdsCreation =
    "CREATE TABLE FULLRCDS(RID INT PRIMARY KEY, UID TEXT(32), RDATACH TEXT(32), RVALUE TEXT(32), RSTATE INT, "
    "RGPS TEXT(128), RTIME TEXT(32), LTIME TEXT(32), RDATA1 TEXT(32), RDATA2 TEXT(32), RDATA3 TEXT(32), "
    "RDATA4 TEXT(32), RDATA5 TEXT(32), RDATA6 TEXT(32), RDATA7 TEXT(32) )";

std::string RtuTableCreation() {
    return ComposeStatement(kStatementArea,
                            "CREATE TABLE %s(UID TEXT(32) PRIMARY KEY, RDATA1 TEXT(32), RDATA2 TEXT(32), "
                            "RDATA3 TEXT(32), RDATA4 TEXT(32), RDATA5 TEXT(32), RDATA6 TEXT(32), RDATA7 TEXT(32), "
                            "RDATA8 TEXT(32), RDATA9 TEXT(32), RDATA10 TEXT(32), RDATA11 TEXT(32), "
                            "RDATA12 TEXT(32) )",
                            kRtuTable);
}

const std::vector<ChannelTableSpec>& ChannelTableSet() {
    static const std::vector<ChannelTableSpec> set = BuildChannelTableSet();
    return set;
}

std::string ChannelTableName(const std::string& uidText, const char* name, int number) {
    if (number < 0) return ComposeStatement(kStatementArea, "%s_%s", uidText.c_str(), name);
    return ComposeStatement(kStatementArea, "%s_%s%d", uidText.c_str(), name, number);
}

bool CreateChannelTable(CSQLDatabase& database, const std::string& uidText, const char* name, int number,
                        int valueType) {
    if (uidText.empty() || name == nullptr || *name == '\0' || valueType < 0 || valueType > 3) return false;
    const char* type = kValueTypeNames[valueType];
    if (number < 0) {
        return database.Execute(ComposeStatement(
            kStatementArea,
            "CREATE TABLE %s_%s(RID INT PRIMARY KEY, RVALUE %s, RTIME TEXT(32), LTIME TEXT(32), RTYPE INT )",
            uidText.c_str(), name, type));
    }
    return database.Execute(ComposeStatement(
        kStatementArea,
        "CREATE TABLE %s_%s%d(RID INT PRIMARY KEY, RVALUE %s, RTIME TEXT(32), LTIME TEXT(32), RTYPE INT)",
        uidText.c_str(), name, number, type));
}

void CreateChannelTables(CSQLDatabase& database, const std::string& uidText) {
    for (const ChannelTableSpec& table : ChannelTableSet()) {
        try {
            CreateChannelTable(database, uidText, table.name, table.number, table.valueType);
        } catch (const CSQLException& error) {
            if (error.sqlState != kTableExists) throw;
        }
    }
}
